// TRV on any bytes: same length, well-formed UTF-8 stays well-formed, no NUL
// appears, and DECRYPTFUNC undoes ENCRYPTFUNC.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" void ENCRYPTFUNC(char* data, const char* key, std::int32_t length);
extern "C" void DECRYPTFUNC(char* data, const char* key, std::int32_t length);

namespace {

// Counts the leading run of well-formed UTF-8 (shortest form, no surrogates).
bool WellFormed(const unsigned char* s, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        const unsigned c = s[i];
        std::size_t len = c < 0x80         ? 1
                          : (c >> 5) == 6  ? 2
                          : (c >> 4) == 14 ? 3
                          : (c >> 3) == 30 ? 4
                                           : 0;
        if (len == 0 || i + len > n)
            return false;
        std::uint32_t cp = len == 1 ? c : c & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        static const std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The key derivation is slow, so one password serves almost every input; a
    // first byte of 0xFF switches to a second one.
    const char* password = data[0] == 0xFF ? "" : "password";
    const std::string original(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string buf = original;
    ENCRYPTFUNC(buf.data(), password, std::int32_t(buf.size()));
    const auto* u = reinterpret_cast<const unsigned char*>(buf.data());
    if (WellFormed(reinterpret_cast<const unsigned char*>(original.data()), original.size()) &&
        !WellFormed(u, buf.size()))
        std::abort();
    if (std::memchr(original.data(), 0, original.size()) == nullptr &&
        std::memchr(buf.data(), 0, buf.size()) != nullptr)
        std::abort();
    DECRYPTFUNC(buf.data(), password, std::int32_t(buf.size()));
    if (buf != original)
        std::abort();
    return 0;
}
