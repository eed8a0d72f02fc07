# The guide, the About box, the icon and the desktop entry.
find_package(Qt6 REQUIRED COMPONENTS Test)
quillmar_gui_test(dialogs_test ${CMAKE_CURRENT_LIST_DIR}/dialogs_test.cpp)
target_link_libraries(dialogs_test PRIVATE Qt6::Test)

# Installs into a scratch prefix and checks what the desktop gets.
find_program(QUILLMAR_DESKTOP_FILE_VALIDATE desktop-file-validate REQUIRED)
add_test(NAME desktop_install_test
  COMMAND ${CMAKE_COMMAND}
    -DBUILD_DIR=${CMAKE_BINARY_DIR}
    -DPREFIX=${CMAKE_CURRENT_BINARY_DIR}/desktop_install_root
    -DDATADIR=${CMAKE_INSTALL_DATADIR}
    -DVALIDATE=${QUILLMAR_DESKTOP_FILE_VALIDATE}
    -P ${CMAKE_CURRENT_LIST_DIR}/desktop/install_check.cmake)
# Hints are advice; warnings and errors are faults.
set_tests_properties(desktop_install_test PROPERTIES FAIL_REGULAR_EXPRESSION "error:|warning:")
