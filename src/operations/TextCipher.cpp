#include "operations/TextCipher.h"

#include <cstring>

namespace quillmar {

std::size_t RunTextCipher(CipherEntry entry, const char* password, char* text, std::size_t size) {
    if (size == 0)
        return 0;
    entry(text, password, std::int32_t(size));
    return strnlen(text, size);
}

} // namespace quillmar
