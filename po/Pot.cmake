# Extracts the catalogue's template from the code, the desktop entry and the metainfo.
#   cmake -DSOURCE_DIR=<top> -DSOURCE_LIST=<file> -DXGETTEXT=... -DITS_DIR=... -DVERSION=...
#         -DOUT=<file>
#         [-DCHECK=<kept template>] -P po/Pot.cmake
# With CHECK it fails when the kept template differs from the one just made, or when a
# language's catalogue lacks a translation or fails msgfmt --check (MSGMERGE, MSGFMT).
# The sources the targets list (po/CMakeLists.txt writes them to SOURCE_LIST), so a new file
# with marked texts needs no list of its own.
file(STRINGS ${SOURCE_LIST} sources)
set(app_id org.example.quillmar.Quillmar)
# Every run names the package: a run that joins the template writes the header anew.
set(package --package-name=Quillmar --package-version=${VERSION}
  --msgid-bugs-address=support@quillmar.example.org)
# The code through our markers only and the desktop entry's names and comments, each read in
# its own language (found by its extension); then the metainfo by AppStream's rules, joined in.
execute_process(
  COMMAND ${XGETTEXT} --from-code=UTF-8 -k
    --keyword=N_ --keyword=NN_:1,1 --keyword=Tr --keyword=TrN:1,2
    --keyword=Name --keyword=GenericName --keyword=Comment --keyword=Keywords
    --add-comments=TRANSLATORS: --add-location=file ${package}
    -o ${OUT} ${sources} src/res/${app_id}.desktop
  WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE failed)
if(NOT failed)
  execute_process(
    COMMAND ${XGETTEXT} --from-code=UTF-8 --its=${ITS_DIR}/metainfo.its --add-location=file
      ${package}
      -j -o ${OUT} data/${app_id}.metainfo.xml.in
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE failed)
endif()
# The file managers' actions (desktop-entry syntax) and the file type's name.
if(NOT failed)
  execute_process(
    COMMAND ${XGETTEXT} --from-code=UTF-8 --language=Desktop -k --keyword=Name --keyword=Comment
      --add-location=file ${package} -j -o ${OUT} data/kio/quillmar-encrypt.desktop
      data/kio/quillmar-decrypt.desktop data/nemo/quillmar-encrypt.nemo_action
      data/nemo/quillmar-decrypt.nemo_action
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE failed)
endif()
if(NOT failed)
  execute_process(
    COMMAND ${XGETTEXT} --from-code=UTF-8 --its=${ITS_DIR}/shared-mime-info.its
      --add-location=file ${package} -j -o ${OUT} data/${app_id}.mime.xml
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE failed)
endif()
if(failed)
  message(FATAL_ERROR "xgettext failed")
endif()
# The date changes at each run; the template is the same without it.
file(READ ${OUT} pot)
string(REGEX REPLACE "\"POT-Creation-Date: [^\"]*\\\\n\"\n" "" pot "${pot}")
file(WRITE ${OUT} "${pot}")
if(CHECK)
  file(READ ${CHECK} kept)
  if(NOT kept STREQUAL pot)
    message(FATAL_ERROR "${CHECK} is out of date with the code: run "
      "`cmake --build build --target update-po` and translate what it marks")
  endif()
  # Each language translates every message of the template, and msgfmt --check finds no fault.
  file(STRINGS ${SOURCE_DIR}/po/LINGUAS languages)
  foreach(lang ${languages})
    execute_process(COMMAND ${MSGMERGE} --quiet ${SOURCE_DIR}/po/${lang}.po ${CHECK} -o -
      COMMAND ${MSGFMT} --check --statistics -o /dev/null -
      ERROR_VARIABLE statistics RESULT_VARIABLE failed)
    if(failed OR NOT statistics MATCHES "^[0-9]+ translated messages\\.\n$")
      message(FATAL_ERROR "po/${lang}.po is not complete: ${statistics}")
    endif()
  endforeach()
endif()
