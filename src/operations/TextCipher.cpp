#include "operations/TextCipher.h"

#include <cstring>

namespace quillmar {

void RunTextCipher(CipherEntry entry, const char* password, std::string& text) {
    if (text.empty())
        return;
    entry(text.data(), password, std::int32_t(text.size()));
    text.resize(strnlen(text.data(), text.size()));
}

} // namespace quillmar
