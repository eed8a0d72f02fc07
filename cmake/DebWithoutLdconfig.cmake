# Run by cpack once it has made the .deb (CPACK_POST_BUILD_SCRIPTS). CPack gives a package
# postinst and postrm scripts that call ldconfig whenever a shared object lies under /usr/lib.
# Our modules there are loaded by path, never through the linker's cache, and libc's trigger
# runs ldconfig anyway, so lintian rightly calls the scripts a fault: this takes them out.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND ${DPKG_DEB} --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  foreach(script postinst postrm)
    if(EXISTS ${tree}/DEBIAN/${script})
      file(READ ${tree}/DEBIAN/${script} text)
      # Only what CPack writes for ldconfig; anything else would be ours to keep.
      string(REGEX REPLACE "#[^\n]*\n|set -e\n|if \\[ \"\\$1\" = \"[a-z]+\" \\]; then\n|ldconfig\n|fi\n|[ \t\n]" "" rest "${text}")
      if(NOT rest STREQUAL "")
        message(FATAL_ERROR "${script} does more than call ldconfig:\n${text}")
      endif()
      file(REMOVE ${tree}/DEBIAN/${script})
    endif()
  endforeach()
  execute_process(COMMAND ${DPKG_DEB} --root-owner-group --build ${tree} ${deb}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
