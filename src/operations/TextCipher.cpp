#include "operations/TextCipher.h"

#include <cstring>
#include <limits>

namespace quillmar {

bool FitsOneCall(std::uint64_t size) {
    return size <= std::uint64_t(std::numeric_limits<std::int32_t>::max());
}

std::size_t RunTextCipher(CipherEntry entry, const char* password, char* text, std::size_t size) {
    if (size == 0)
        return 0;
    entry(text, password, std::int32_t(size));
    return strnlen(text, size);
}

} // namespace quillmar
