#pragma once
// Reading and saving a key file, as Load Key and Save Key and the command
// line's --key-file and save-key do it.

#include "platform/os/FileError.h"
#include "platform/os/FileStreams.h"

#include <string>
#include <string_view>

namespace quillmar {

// NotShowable: a password the window's field could not show unchanged (see
// CheckPassword), refused by the command line too.
enum class KeyLoad { Ok, Empty, NotKeyFile, NotShowable, FileError };

// The password of the key file at path into password (wiped first). A named
// pipe gives what it holds: with no writer it must not hang. FileError with
// the cause in error.
KeyLoad LoadKeyFile(const std::string& path, FileLayer& layer, std::string& password,
                    FileError& error);

// Whether a key file can hold password: a cut one would not be the password in use.
bool FitsKeyFile(std::string_view password);

enum class KeySave { Ok, TooLong, FileError };

// Writes password's record to path, replacing a file there only once the new
// one is complete. The password stands in the clear, so only its owner may
// read the file. TooLong before anything is touched.
KeySave SaveKeyFile(const std::string& path, std::string_view password, FileLayer& layer,
                    FileError& error);

} // namespace quillmar
