# Not a test: run by hand, see the README's file panel section.
add_executable(file_bench ${CMAKE_CURRENT_LIST_DIR}/file_bench.cpp)
target_link_libraries(file_bench PRIVATE quillmar_core quillmar_flags)
target_compile_definitions(file_bench PRIVATE QUILLMAR_OUTPUT_DIR="${QUILLMAR_OUTPUT_DIR}")
add_dependencies(file_bench quillmar_des_module)
