# The cipher modules are tested as the program uses them: the built files, loaded by path.
add_executable(modules_test ${CMAKE_CURRENT_LIST_DIR}/modules_test.cpp)
target_link_libraries(modules_test PRIVATE
  quillmar_flags GTest::gtest_main PkgConfig::NETTLE ${CMAKE_DL_LIBS})
target_compile_definitions(modules_test PRIVATE QUILLMAR_OUTPUT_DIR="${QUILLMAR_OUTPUT_DIR}")
add_dependencies(modules_test quillmar_trv_module quillmar_des_module)
# One process, so the modules' key caches spare most of the slow password derivations.
add_test(NAME modules_test COMMAND modules_test)
