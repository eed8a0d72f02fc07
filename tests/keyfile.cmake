quillmar_gui_test(keyfile_test ${CMAKE_CURRENT_LIST_DIR}/keyfile_test.cpp)
