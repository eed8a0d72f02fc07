#pragma once
// A text through a cipher module: one call for the whole text, in place.

#include "platform/os/Module.h"

#include <cstdint>
#include <string>

namespace quillmar {

// Whether a text of size bytes fits one module call, whose length is an int32.
bool FitsOneCall(std::uint64_t size);

// The caller has checked that text fits one call. A module that
// leaves a zero byte ends the text there, as a text field would show it:
// returns the length that is left.
std::size_t RunTextCipher(CipherEntry entry, const char* password, char* text, std::size_t size);

inline void RunTextCipher(CipherEntry entry, const char* password, std::string& text) {
    text.resize(RunTextCipher(entry, password, text.data(), text.size()));
}

} // namespace quillmar
