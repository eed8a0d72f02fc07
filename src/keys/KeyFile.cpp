#include "keys/KeyFile.h"

#include "platform/os/Wipe.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quillmar {

namespace {
constexpr unsigned char kMagic[4] = {'Q', 'X', 'P', 0};
}

KeyRecord::~KeyRecord() {
    SecureWipe(bytes.data(), bytes.size());
}

std::string_view StoredKeyPassword(std::string_view password) {
    return password.substr(0, password.find('\0'));
}

bool MakeKeyRecord(std::string_view password, KeyRecord& record) {
    SecureWipe(record.bytes.data(), record.bytes.size());
    const std::string_view stored = StoredKeyPassword(password);
    if (stored.size() > kKeyPasswordMax)
        return false;
    std::memcpy(record.bytes.data(), kMagic, sizeof kMagic);
    const auto length = static_cast<std::uint32_t>(stored.size());
    for (int i = 0; i < 4; ++i)
        record.bytes[4 + std::size_t(i)] = static_cast<unsigned char>(length >> (8 * i));
    std::memcpy(record.bytes.data() + kKeyPasswordOffset, stored.data(), stored.size());
    return true;
}

KeyReadResult ReadKeyRecord(std::span<const unsigned char> file, std::string& password) {
    if (file.empty())
        return KeyReadResult::Empty;
    KeyRecord record;
    std::copy_n(file.begin(), std::min(file.size(), kKeyRecordSize), record.bytes.begin());
    if (std::memcmp(record.bytes.data(), kMagic, sizeof kMagic) != 0)
        return KeyReadResult::NotKeyFile;
    const unsigned char* area = record.bytes.data() + kKeyPasswordOffset;
    const unsigned char* end = std::find(area, area + kKeyPasswordArea, 0);
    password.assign(reinterpret_cast<const char*>(area), std::size_t(end - area));
    return KeyReadResult::Ok;
}

} // namespace quillmar
