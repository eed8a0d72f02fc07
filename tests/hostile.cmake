quillmar_gui_test(hostile_test ${CMAKE_CURRENT_LIST_DIR}/hostile_test.cpp)
