quillmar_fuzz(keyfile ${CMAKE_CURRENT_SOURCE_DIR}/keyfile_fuzz.cpp
              ${ROOT}/src/crypto/KeyFile.cpp ${ROOT}/src/crypto/Wipe.cpp)
quillmar_fuzz(mailto ${CMAKE_CURRENT_SOURCE_DIR}/mailto_fuzz.cpp ${ROOT}/src/mailto/MailUrl.cpp)
