#pragma once
// Starting a desktop helper program that outlives neither our window's
// patience nor depends on us: in a session of its own, reparented away.

#include <string>

namespace quillmar {

// The program's full path from an absolute PATH entry, or empty.
std::string FindProgramOnPath(const char* name);

// Starts `program argument` detached, so that it neither blocks the caller nor
// ends with it. Returns the read end of a pipe that receives one byte once the
// program ended, non-zero if it failed; -1 if it could not be started.
int StartDetached(const std::string& program, const std::string& argument);

} // namespace quillmar
