quillmar_gui_test(mail_test ${CMAKE_CURRENT_LIST_DIR}/mail_test.cpp)
