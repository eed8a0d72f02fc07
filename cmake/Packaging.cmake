# What a package carries besides the targets' own install rules, and the Debian package
# that `cpack -G DEB` makes from the install tree.

set(QUILLMAR_APP_ID org.example.quillmar.Quillmar)
set(QUILLMAR_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quillmar)

# The metainfo, the desktop entry, the file type of encrypted files (*.qx) and the file
# managers' context-menu actions that open a file in the window (Dolphin's service menus,
# Nemo's actions) are installed translated, from po/.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${QUILLMAR_DOC_DIR})
# Debian looks for the licence under this name, and for a changelog compressed without a
# name or time stamp in it.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${QUILLMAR_DOC_DIR} RENAME copyright)
find_program(QUILLMAR_GZIP gzip REQUIRED)
configure_file(${PROJECT_SOURCE_DIR}/data/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
  COMMAND ${QUILLMAR_GZIP} -9nkf ${PROJECT_BINARY_DIR}/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/changelog VERBATIM)
add_custom_target(quillmar_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${QUILLMAR_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmar)
set(CPACK_PACKAGE_VENDOR "The Quillmar developers")
set(CPACK_PACKAGE_CONTACT "Quillmar developers <support@quillmar.example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://quillmar.example.org)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encrypt texts and files with a password")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Stripped: no debug info, and with it no paths into the build folder, in what is shipped.
set(CPACK_STRIP_FILES ON)
# Nor the compilers' notes, which Debian's dh_strip removes too. Runs after the targets' own
# install rules, whenever the install strips (cpack, cmake --install --strip).
set(stripped ${CMAKE_INSTALL_BINDIR}/Tessarine ${CMAKE_INSTALL_BINDIR}/quillmar
  ${QUILLMAR_MODULE_INSTALL_DIR}/TRV.DLL ${QUILLMAR_MODULE_INSTALL_DIR}/DES.DLL)
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(f ${stripped})
      execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment --remove-section=.note
        \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${f} COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")
# No ldconfig scripts for modules that are loaded by path.
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebWithoutLdconfig.cmake)
# Folders the install creates get 0755 whatever the umask of whoever runs cpack.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# One paragraph, wrapped as Debian shows it.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Quillmar protects a text or a file with a password. Its window, Tessarine,\n"
  "encrypts a text in place into readable characters, so it survives the\n"
  "clipboard and e-mail, and encrypts a file into another; quillmar does the\n"
  "same for files on the command line. Texts are encrypted with the TRV cipher,\n"
  "files with DES. DES is a legacy cipher, kept for compatibility with existing\n"
  "encrypted files; it is not strong protection by today's standards.")
# Libraries come from the binaries; the mail hand-off and the dialogs' fonts are not linked.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "xdg-utils, fonts-comic-neue, fonts-dejavu-core, qt6-translations-l10n")

include(CPack)

# Builds the package from this build folder and checks it unpacked. Not for sanitizer builds:
# those are never shipped.
if(QUILLMAR_TESTS AND NOT QUILLMAR_SANITIZE)
  find_program(QUILLMAR_DPKG_DEB dpkg-deb REQUIRED)
  find_program(QUILLMAR_APPSTREAMCLI appstreamcli REQUIRED)
  find_program(QUILLMAR_DESKTOP_FILE_VALIDATE desktop-file-validate REQUIRED)
  find_program(QUILLMAR_LINTIAN lintian REQUIRED)
  find_program(QUILLMAR_HARDENING_CHECK hardening-check REQUIRED)
  find_program(QUILLMAR_UPDATE_MIME_DATABASE update-mime-database REQUIRED)
  find_program(QUILLMAR_XDG_MIME xdg-mime REQUIRED)
  set(scratch ${PROJECT_BINARY_DIR}/package_check)
  string(REPLACE ";" "," languages "${QUILLMAR_LANGUAGES}")
  add_test(NAME package_test
    COMMAND ${CMAKE_COMMAND}
      -DCPACK=${CMAKE_CPACK_COMMAND} -DDPKG_DEB=${QUILLMAR_DPKG_DEB}
      -DAPPSTREAMCLI=${QUILLMAR_APPSTREAMCLI} -DDESKTOP_FILE_VALIDATE=${QUILLMAR_DESKTOP_FILE_VALIDATE}
      -DLINTIAN=${QUILLMAR_LINTIAN} -DHARDENING_CHECK=${QUILLMAR_HARDENING_CHECK}
      -DUPDATE_MIME_DATABASE=${QUILLMAR_UPDATE_MIME_DATABASE} -DXDG_MIME=${QUILLMAR_XDG_MIME}
      -DBUILD_DIR=${PROJECT_BINARY_DIR} -DSCRATCH=${scratch}
      -DVERSION=${PROJECT_VERSION} -DAPP_ID=${QUILLMAR_APP_ID} -DLANGUAGES=${languages}
      -P ${PROJECT_SOURCE_DIR}/tests/package/package_check.cmake)
  # The command-line companion's own checks run on the package the test above unpacked.
  add_test(NAME package_cli_test
    COMMAND ${CMAKE_COMMAND}
      -DSCRATCH=${scratch}
      -P ${PROJECT_SOURCE_DIR}/tests/package/package_cli_check.cmake)
  set_tests_properties(package_test PROPERTIES FIXTURES_SETUP quillmar_package TIMEOUT 300)
  set_tests_properties(package_cli_test PROPERTIES FIXTURES_REQUIRED quillmar_package TIMEOUT 120)
endif()
