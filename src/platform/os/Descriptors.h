#pragma once
// The descriptors a program was started with, told apart from those it opens
// itself: a number the caller names (--password-fd 4, /dev/fd/4) must be one
// of theirs, never the program's own source file or signal descriptor.

#include <optional>
#include <string_view>

namespace quillmar {

// Notes which descriptors are open. Call first thing in main, before the
// program opens anything; later calls change nothing.
void NoteInheritedDescriptors();

// Whether fd was open when NoteInheritedDescriptors ran; whether it is open
// now in a process that never noted them (a test, say).
bool WasInherited(int fd);

// The descriptor that an absolute path names, as the kernel takes it:
// /dev/stdin, /dev/stdout, /dev/stderr, /dev/fd/N, and /proc/self/fd/N,
// /proc/thread-self/fd/N or /proc/PID/fd/N of this process.
std::optional<int> DescriptorSpelledBy(std::string_view absolutePath);

} // namespace quillmar
