#pragma once
// A whole result written to an open descriptor such as standard output: what
// a command prints, from a help text to a key.

#include "platform/os/FileError.h"

#include <string>
#include <string_view>

namespace quillmar {

// All of data, flushed (and on disk, for a regular file); false with the
// cause in error, where the descriptor is called name.
bool WriteWhole(int fd, std::string_view data, std::string name, FileError& error);

} // namespace quillmar
