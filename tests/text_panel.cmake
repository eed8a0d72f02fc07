quillmar_gui_test(text_panel_test ${CMAKE_CURRENT_LIST_DIR}/text_panel_test.cpp)
