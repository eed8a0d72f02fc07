// A key file of any bytes and any length: never read past the record, never
// crash, and what loads saves again to the same password area.
#include "keys/KeyFile.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace quillmar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so that ASan sees any read past the file's end.
    std::vector<unsigned char> file(data, data + size);
    std::string password;
    const KeyReadResult r = ReadKeyRecord(file, password);
    if (size == 0 && r != KeyReadResult::Empty)
        std::abort();
    if (r != KeyReadResult::Ok)
        return 0;
    if (password.size() > kKeyPasswordArea)
        std::abort();
    KeyRecord record;
    if (!MakeKeyRecord(password, record)) {
        // Only a password filling the whole area is too long to save again.
        if (password.size() != kKeyPasswordArea)
            std::abort();
        return 0;
    }
    unsigned char area[kKeyPasswordArea] = {};
    const std::size_t avail = size > kKeyPasswordOffset ? size - kKeyPasswordOffset : 0;
    std::memcpy(area, file.data() + kKeyPasswordOffset, std::min(avail, kKeyPasswordArea));
    // The saved area is the loaded password followed by zeros.
    unsigned char expected[kKeyPasswordArea] = {};
    std::memcpy(expected, area, password.size());
    if (std::memcmp(record.bytes.data() + kKeyPasswordOffset, expected, kKeyPasswordArea) != 0)
        std::abort();
    std::string again;
    if (ReadKeyRecord(record.bytes, again) != KeyReadResult::Ok || again != password)
        std::abort();
    return 0;
}
