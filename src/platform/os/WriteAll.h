#pragma once
// Writes that go on until every byte is out: a pipe or a signal may take
// fewer bytes than offered.

#include <cstddef>
#include <string_view>

namespace quillmar {

// 0 once all size bytes are written, else the errno value of the failure; a
// write that stores nothing counts as a full disk (ENOSPC).
int WriteAll(int fd, const void* data, std::size_t size);

inline int WriteAll(int fd, std::string_view text) {
    return WriteAll(fd, text.data(), text.size());
}

} // namespace quillmar
