# Builds the Debian package with cpack in BUILD_DIR, checks its control fields and file list,
# then unpacks it into SCRATCH/root (left there for package_cli_check.cmake) and checks what
# the installed program and the desktop would find, the binaries' hardening and lintian.

function(fail what)
  message(FATAL_ERROR "${what}")
endfunction()

function(run out)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE text)
  if(NOT rc EQUAL 0)
    fail("${ARGN} failed (${rc}):\n${text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(deb ${BUILD_DIR}/quillmar_${VERSION}_${arch}.deb)
set(root ${SCRATCH}/root)
file(REMOVE ${deb})
file(REMOVE_RECURSE ${SCRATCH})
execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake
  WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE text)
if(NOT rc EQUAL 0 OR NOT EXISTS ${deb})
  fail("cpack made no ${deb} (${rc}):\n${text}")
endif()

# Control fields.
foreach(want "Package: quillmar" "Version: ${VERSION}" "Architecture: ${arch}"
    "Section: utils" "Priority: optional" "Homepage: https://quillmar.example.org"
    "Maintainer: Quillmar developers <support@quillmar.example.org>")
  string(REGEX MATCH "^[^:]+" field "${want}")
  run(got ${DPKG_DEB} -f ${deb} ${field})
  string(STRIP "${got}" got)
  if(NOT "${field}: ${got}" STREQUAL want)
    fail("control field ${field} is '${got}', not as in '${want}'")
  endif()
endforeach()
run(description ${DPKG_DEB} -f ${deb} Description)
string(REGEX REPLACE "[ \n]+" " " description "${description}")
if(NOT description MATCHES "DES is a legacy cipher, kept for compatibility with existing")
  fail("the description does not call DES a legacy cipher:\n${description}")
endif()

# Depends: what dpkg-shlibdeps found in the program (Qt, libc) and in the modules (nettle),
# plus what is not linked.
run(depends ${DPKG_DEB} -f ${deb} Depends)
string(STRIP "${depends}" depends)
message("Depends: ${depends}")
string(REGEX REPLACE " *\\([^)]*\\)" "" names "${depends}")
string(REGEX REPLACE " *[,|] *" ";" names "${names}")
set(missing)
foreach(want "^xdg-utils$" "^fonts-comic-neue$" "^fonts-dejavu-core$" "^libc6$"
    "^libqt6widgets6$" "^libnettle[0-9]+$")
  set(hit ${names})
  list(FILTER hit INCLUDE REGEX "${want}")
  if(NOT hit)
    list(APPEND missing "${want}")
  endif()
endforeach()
if(missing)
  fail("Depends lacks ${missing}: ${depends}")
endif()

# File list: everything under /usr, owned by root, with the modes Debian expects, and no empty
# folder.
run(listing ${DPKG_DEB} -c ${deb})
message("${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(entries)
set(problems)
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  if(NOT line MATCHES "^(.)([^ ]+) ([^ ]+) +[0-9]+ [^ ]+ [^ ]+ \\./(.*)$")
    fail("cannot read '${line}'")
  endif()
  set(type ${CMAKE_MATCH_1})
  set(mode ${CMAKE_MATCH_2})
  set(owner ${CMAKE_MATCH_3})
  set(path "${CMAKE_MATCH_4}")
  list(APPEND entries "${path}")
  if(path STREQUAL "")
    continue()
  endif()
  if(NOT path MATCHES "^usr/")
    list(APPEND problems "outside /usr: ${path}")
  endif()
  if(NOT owner STREQUAL "root/root")
    list(APPEND problems "owned by ${owner}: ${path}")
  endif()
  # Modules are loaded, not run: CMake installs shared objects without the executable bit on
  # Debian, as Debian's policy asks.
  if(type STREQUAL "d" OR path MATCHES "^usr/bin/")
    set(want_mode rwxr-xr-x)
  else()
    set(want_mode rw-r--r--)
  endif()
  if(NOT type MATCHES "^[-d]$" OR NOT mode STREQUAL want_mode)
    list(APPEND problems "${type}${mode}, not ${want_mode}: ${path}")
  endif()
endforeach()
set(filled)
foreach(path IN LISTS entries)
  string(REGEX REPLACE "[^/]+/?$" "" parent "${path}")
  list(APPEND filled "${parent}")
endforeach()
foreach(path IN LISTS entries)
  list(FIND filled "${path}" at)
  if(path MATCHES "/$" AND at EQUAL -1)
    list(APPEND problems "empty folder: ${path}")
  endif()
endforeach()
set(share usr/share)
foreach(want usr/bin/Tessarine usr/bin/quillmar usr/lib/quillmar/TRV.DLL usr/lib/quillmar/DES.DLL
    ${share}/man/man1/Tessarine.1.gz ${share}/man/man1/quillmar.1.gz
    ${share}/applications/${APP_ID}.desktop ${share}/metainfo/${APP_ID}.metainfo.xml
    ${share}/icons/hicolor/16x16/apps/quillmar.png ${share}/icons/hicolor/32x32/apps/quillmar.png
    ${share}/icons/hicolor/48x48/apps/quillmar.png ${share}/icons/hicolor/scalable/apps/quillmar.svg
    ${share}/doc/quillmar/README.md ${share}/doc/quillmar/copyright
    ${share}/doc/quillmar/changelog.gz ${share}/bash-completion/completions/quillmar
    ${share}/zsh/vendor-completions/_quillmar ${share}/fish/vendor_completions.d/quillmar.fish)
  list(FIND entries ${want} at)
  if(at EQUAL -1)
    list(APPEND problems "missing ${want}")
  endif()
endforeach()
if(problems)
  list(JOIN problems "\n  " problems)
  fail("${deb}:\n  ${problems}")
endif()

file(MAKE_DIRECTORY ${root})
run(ignored ${DPKG_DEB} -x ${deb} ${root})

# The program loads its modules by path from ../lib/quillmar beside its own folder.
foreach(module TRV.DLL DES.DLL)
  set(path ${root}/usr/bin/../lib/quillmar/${module})
  if(NOT EXISTS ${path})
    fail("Tessarine would not find ${path}")
  endif()
endforeach()

# Nothing shipped may point into the build folder (an RPATH, debug info).
foreach(entry IN LISTS entries)
  set(f ${root}/${entry})
  if(entry STREQUAL "" OR IS_DIRECTORY ${f})
    continue()
  endif()
  file(STRINGS ${f} strings)
  string(FIND "${strings}" "${BUILD_DIR}" at)
  if(NOT at EQUAL -1)
    list(APPEND problems "${f} names the build folder")
  endif()
endforeach()
if(problems)
  list(JOIN problems "\n  " problems)
  fail("${problems}")
endif()

# The window answers --help and --version without a display, and opens no window for them.
foreach(option --version --help)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
      --unset=QT_QPA_PLATFORM ${root}/usr/bin/Tessarine ${option}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  set(answers${option} "${out}")
  if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
    fail("Tessarine ${option} failed (${rc}):\n${out}${err}")
  endif()
endforeach()
if(NOT answers--version STREQUAL "Tessarine ${VERSION}\n" OR NOT answers--help MATCHES "^Usage: Tessarine ")
  fail("Tessarine --version said '${answers--version}', --help '${answers--help}'")
endif()

# Docks tie the window (WM_CLASS Tessarine, the desktop file name set in the program) to its
# entry; a file manager's "Open with" hands the file over.
file(STRINGS ${root}/${share}/applications/${APP_ID}.desktop lines)
foreach(want "Name=Quillmar" "Exec=Tessarine %f" "Icon=quillmar" "Categories=Utility;Security;"
    "StartupWMClass=Tessarine")
  list(FIND lines "${want}" at)
  if(at EQUAL -1)
    fail("the desktop entry lacks ${want}")
  endif()
endforeach()

# Each PNG must be as large as the folder it sits in says (IHDR width and height).
foreach(size 16 32 48)
  file(READ ${root}/${share}/icons/hicolor/${size}x${size}/apps/quillmar.png ihdr
    OFFSET 16 LIMIT 8 HEX)
  math(EXPR want "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(REPLACE "0x" "" want ${want})
  string(LENGTH ${want} n)
  while(n LESS 8)
    string(PREPEND want "0")
    string(LENGTH ${want} n)
  endwhile()
  if(NOT ihdr STREQUAL "${want}${want}")
    fail("the ${size}x${size} icon is not ${size}x${size}: ${ihdr}")
  endif()
endforeach()

# The distribution's hardening in every binary. A "no" the tool itself ignores is no fault: a
# module is no executable, and control-flow protection is not to be had from Debian 12's
# toolchain as packaged.
execute_process(COMMAND ${HARDENING_CHECK} --nocfprotection ${root}/usr/bin/Tessarine
    ${root}/usr/bin/quillmar ${root}/usr/lib/quillmar/TRV.DLL ${root}/usr/lib/quillmar/DES.DLL
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("hardening-check:\n${out}")
string(REGEX REPLACE ": no[^\n]*\\(ignored\\)" "" counted "${out}")
if(NOT rc EQUAL 0 OR counted MATCHES ": no")
  fail("hardening-check (${rc}):\n${out}")
endif()

# Debian's own checks: no error and no warning; pedantic notes are shown, not failed on.
execute_process(COMMAND ${LINTIAN} --pedantic --display-info ${deb}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("lintian --pedantic (${rc}):\n${out}")
if(out MATCHES "(^|\n)[EW]: " OR out MATCHES "hardening-")
  fail("lintian:\n${out}")
endif()

# What the desktop and software centres read. Hints and infos are advice, warnings are faults:
# appstreamcli fails on them by itself.
run(out ${DESKTOP_FILE_VALIDATE} ${root}/${share}/applications/${APP_ID}.desktop)
if(out MATCHES "error:|warning:")
  fail("desktop-file-validate:\n${out}")
endif()
message("desktop-file-validate: ${out}")
run(out ${APPSTREAMCLI} validate --no-net ${root}/${share}/metainfo/${APP_ID}.metainfo.xml)
message("appstreamcli validate: ${out}")
