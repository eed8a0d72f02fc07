// A stand-in for DES.DLL whose cipher costs next to nothing (each byte XORed
// with a constant), with batch entries and THREADSAFE: run through the file
// loops, it shows what reading and writing alone cost, the speed a much
// faster cipher could reach at best.
#include <cstdint>
#include <cstring>

namespace {
// Eight bytes at a time: lengths are multiples of 8 (others are left as they are).
void Flip(char* data, std::int32_t length) {
    for (std::int32_t i = 0; i + 8 <= length && length % 8 == 0; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        word ^= 0x5a5a5a5a5a5a5a5a;
        std::memcpy(data + i, &word, 8);
    }
}
} // namespace

#define BENCH_EXPORT extern "C" __attribute__((visibility("default")))

BENCH_EXPORT void ENCRYPTFUNC(char* data, const char*, std::int32_t length) {
    Flip(data, length);
}
BENCH_EXPORT void DECRYPTFUNC(char* data, const char*, std::int32_t length) {
    Flip(data, length);
}
BENCH_EXPORT void ENCRYPTBLOCKS(char* data, const char*, std::int32_t length) {
    Flip(data, length);
}
BENCH_EXPORT void DECRYPTBLOCKS(char* data, const char*, std::int32_t length) {
    Flip(data, length);
}
BENCH_EXPORT int THREADSAFE() {
    return 1;
}
