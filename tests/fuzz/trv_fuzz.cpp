// TRV on any bytes: same length, well-formed UTF-8 (as the program's own check
// of what a text field takes has it) stays well-formed, no NUL appears, and
// DECRYPTFUNC undoes ENCRYPTFUNC.
#include "platform/os/Utf8.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" void ENCRYPTFUNC(char* data, const char* key, std::int32_t length);
extern "C" void DECRYPTFUNC(char* data, const char* key, std::int32_t length);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The key derivation is slow, so one password serves almost every input; a
    // first byte of 0xFF switches to a second one.
    const char* password = data[0] == 0xFF ? "" : "password";
    const std::string original(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string buf = original;
    ENCRYPTFUNC(buf.data(), password, std::int32_t(buf.size()));
    if (quillmar::IsUtf8(original) && !quillmar::IsUtf8(buf))
        std::abort();
    if (std::memchr(original.data(), 0, original.size()) == nullptr &&
        std::memchr(buf.data(), 0, buf.size()) != nullptr)
        std::abort();
    DECRYPTFUNC(buf.data(), password, std::int32_t(buf.size()));
    if (buf != original)
        std::abort();
    return 0;
}
