# Checks the command-line companion in the package package_check.cmake unpacked into
# SCRATCH/root: its binary, the man pages and the bash completion are there, and the unpacked
# quillmar round-trips a file with the modules from the unpacked usr/lib/quillmar.

set(root ${SCRATCH}/root)
set(missing)
foreach(want usr/bin/quillmar usr/share/man/man1/quillmar.1 usr/share/man/man1/Tessarine.1
    usr/share/bash-completion/completions/quillmar)
  # Man pages may be shipped compressed.
  if(NOT EXISTS ${root}/${want} AND NOT EXISTS ${root}/${want}.gz)
    list(APPEND missing ${want})
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "the package lacks:\n  ${missing}")
endif()

# The unpacked quillmar finds its catalogues in usr/share/locale: a German user reads German.
execute_process(COMMAND env LANGUAGE= LC_ALL=de_DE.UTF-8 ${root}/usr/bin/quillmar bogus
  ERROR_VARIABLE out)
if(NOT out MATCHES "^quillmar: .*bogus.* \\(quillmar --help " OR out MATCHES "unknown|shows")
  message(FATAL_ERROR "the unpacked quillmar did not answer in German: ${out}")
endif()

# Run outside usr/bin, so the modules can only come from usr/bin/../lib/quillmar. 1024 bytes:
# two blocks, a multiple of 8, so decryption gives back exactly the same bytes.
set(work ${SCRATCH}/cli)
file(MAKE_DIRECTORY ${work})
string(REPEAT "Quillmar package round trip, a line of 64 bytes: 0123456789abcd\n" 16 plain)
file(WRITE ${work}/plain "${plain}")
file(WRITE ${work}/password "pw\n")
foreach(step "encrypt-file;plain;encrypted" "decrypt-file;encrypted;decrypted")
  list(GET step 0 command)
  list(GET step 1 source)
  list(GET step 2 target)
  execute_process(
    COMMAND ${root}/usr/bin/quillmar ${command} ${source} ${target} --password-fd 0
    WORKING_DIRECTORY ${work} INPUT_FILE ${work}/password
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "unpacked quillmar ${command} failed (${rc}):\n${out}")
  endif()
endforeach()
file(SHA256 ${work}/plain want)
file(SHA256 ${work}/encrypted encrypted)
file(SHA256 ${work}/decrypted got)
if(encrypted STREQUAL want)
  message(FATAL_ERROR "encrypt-file left the file as it was")
endif()
if(NOT got STREQUAL want)
  message(FATAL_ERROR "the file did not come back from the unpacked quillmar unchanged")
endif()
