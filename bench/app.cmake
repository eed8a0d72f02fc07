# Not a test: run by hand, see the README.
add_executable(app_bench ${CMAKE_CURRENT_LIST_DIR}/app_bench.cpp)
target_link_libraries(app_bench PRIVATE quillmar_core quillmar_flags)
target_compile_definitions(app_bench PRIVATE QUILLMAR_OUTPUT_DIR="${QUILLMAR_OUTPUT_DIR}")
add_dependencies(app_bench quillmar_trv_module)
