# Shared test support and the small cipher modules the tests load.
set(QUILLMAR_FAKE_MODULE_DIR ${CMAKE_BINARY_DIR}/tests/fake_modules)

function(quillmar_fake_module target kind file_name source)
  add_library(${target} MODULE ${source})
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX "" OUTPUT_NAME ${file_name}
    LIBRARY_OUTPUT_DIRECTORY ${QUILLMAR_FAKE_MODULE_DIR}/${kind}
    CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(${target} PRIVATE quillmar_flags)
endfunction()

foreach(name TRV DES)
  quillmar_fake_module(fake_recording_${name} recording ${name}.DLL
                       ${CMAKE_CURRENT_LIST_DIR}/../fake_modules/recording.cpp)
  quillmar_fake_module(fake_encrypt_only_${name} encrypt_only ${name}.DLL
                       ${CMAKE_CURRENT_LIST_DIR}/../fake_modules/recording.cpp)
  target_compile_definitions(fake_encrypt_only_${name} PRIVATE ENCRYPT_ONLY)
  quillmar_fake_module(fake_empty_${name} empty ${name}.DLL
                       ${CMAKE_CURRENT_LIST_DIR}/../fake_modules/empty.cpp)
  # Not a shared library at all.
  file(WRITE ${QUILLMAR_FAKE_MODULE_DIR}/broken/${name}.DLL "This is a text file, not a module.\n")
endforeach()
file(MAKE_DIRECTORY ${QUILLMAR_FAKE_MODULE_DIR}/none)

add_library(quillmar_testsupport STATIC
  ${CMAKE_CURRENT_LIST_DIR}/TestSupport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_main.cpp)
target_include_directories(quillmar_testsupport PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quillmar_testsupport PUBLIC quillmar_core GTest::gtest Qt6::Widgets
                      PRIVATE quillmar_flags)
target_compile_definitions(quillmar_testsupport PRIVATE
  QUILLMAR_OUTPUT_DIR="${QUILLMAR_OUTPUT_DIR}"
  QUILLMAR_FAKE_MODULE_DIR="${QUILLMAR_FAKE_MODULE_DIR}")

# A GUI test executable: its sources, linked with the support library, run headless.
# Every test needs the modules built, real and fake.
set(QUILLMAR_ALL_MODULES quillmar_trv_module quillmar_des_module)
foreach(name TRV DES)
  list(APPEND QUILLMAR_ALL_MODULES fake_recording_${name} fake_encrypt_only_${name} fake_empty_${name})
endforeach()

function(quillmar_gui_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE quillmar_testsupport quillmar_flags)
  add_dependencies(${name} ${QUILLMAR_ALL_MODULES})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()

# A test without windows: the core library and GoogleTest's own main.
function(quillmar_core_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE quillmar_core quillmar_flags GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
endfunction()

# A test without windows: plain GoogleTest, the libraries it names after LIBS and the
# programs it runs after RUNS, built first like the modules.
function(quillmar_plain_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBS;RUNS")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest_main quillmar_flags)
  target_compile_definitions(${name} PRIVATE
    QUILLMAR_OUTPUT_DIR="${QUILLMAR_OUTPUT_DIR}"
    QUILLMAR_FAKE_MODULE_DIR="${QUILLMAR_FAKE_MODULE_DIR}")
  add_dependencies(${name} ${QUILLMAR_ALL_MODULES} ${arg_RUNS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()
