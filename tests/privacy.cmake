quillmar_gui_test(privacy_test ${CMAKE_CURRENT_LIST_DIR}/privacy_test.cpp)
