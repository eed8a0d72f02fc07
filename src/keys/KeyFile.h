#pragma once
// The key file's record: 268 bytes holding one password in the clear.
//
//   0   4  magic "QXP" and a zero byte
//   4   4  length of the password, little-endian (written, never read)
//   8 256  the password's bytes, then zero bytes
// 264   4  reserved, zero

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace quillmar {

inline constexpr std::size_t kKeyRecordSize = 268;
inline constexpr std::size_t kKeyPasswordOffset = 8;
inline constexpr std::size_t kKeyPasswordArea = 256;
// One byte of the area is kept for the terminating zero.
inline constexpr std::size_t kKeyPasswordMax = kKeyPasswordArea - 1;

// Wiped when it goes: it holds a password.
struct KeyRecord {
    std::array<unsigned char, kKeyRecordSize> bytes{};
    KeyRecord() = default;
    KeyRecord(const KeyRecord&) = default;
    KeyRecord& operator=(const KeyRecord&) = default;
    ~KeyRecord();
};

// The part of a password that a key file can hold: the cipher modules take
// the password as a C string, so a zero byte ends it there too.
std::string_view StoredKeyPassword(std::string_view password);

// False, leaving record all zero, for a password longer than kKeyPasswordMax
// bytes: a cut one would not be the password in use.
bool MakeKeyRecord(std::string_view password, KeyRecord& record);

enum class KeyReadResult { Ok, Empty, NotKeyFile };

// Reads the password from the first bytes of a key file; bytes past the
// record are ignored, a short file counts as padded with zeros. On Ok,
// password holds the bytes up to the area's first zero byte, or the whole
// area when it has none.
KeyReadResult ReadKeyRecord(std::span<const unsigned char> file, std::string& password);

} // namespace quillmar
