quillmar_gui_test(file_panel_test ${CMAKE_CURRENT_LIST_DIR}/file_panel_test.cpp)
