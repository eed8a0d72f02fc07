#pragma once
// Named temporary files that must not outlive the process: each is removed if
// the process gets any signal that ends it while the file is listed. Only
// SIGKILL can leave one behind.

#include <cstddef>

namespace quillmar {

// Lists name in the folder open as folder (which must stay open while listed)
// before the file is made. The slot to give back, or -1 when the table is
// full: that file is then not removed on a signal, but may be written all the
// same.
int ListTemporary(int folder, const char* name);
void UnlistTemporary(int slot);

// For tests: how many files the table holds at once.
std::size_t TemporaryTableSize();

} // namespace quillmar
