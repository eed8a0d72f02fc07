# Not a test: run by hand, see modules/README.md.
add_executable(module_bench ${CMAKE_CURRENT_LIST_DIR}/module_bench.cpp)
target_link_libraries(module_bench PRIVATE quillmar_flags PkgConfig::NETTLE ${CMAKE_DL_LIBS})
target_compile_definitions(module_bench PRIVATE QUILLMAR_OUTPUT_DIR="${QUILLMAR_OUTPUT_DIR}")
add_dependencies(module_bench quillmar_trv_module quillmar_des_module)
