quillmar_plain_test(cli_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_test.cpp LIBS quillmar_cli_logic RUNS quillmar)
