// The batch path's key schedule, the choice of variant and the batching over a call's data.

#include "des_batch.h"

#include <cstdlib>
#include <cstring>
#include <string.h> // explicit_bzero

namespace quillmar_des {
namespace {

// FIPS 46-3 key schedule tables, bits numbered from 1 at the most significant end.
constexpr unsigned char kPC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
constexpr unsigned char kPC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                                    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                                    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
constexpr unsigned char kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

unsigned Bit(const std::uint8_t* key, int n) {
    return key[(n - 1) / 8] >> (7 - (n - 1) % 8) & 1u;
}

} // namespace

void ExpandKey(const std::uint8_t* key, RoundKeys& out) {
    unsigned char cd[56]; // C in 0..27, D in 28..55
    for (int i = 0; i < 56; ++i)
        cd[i] = static_cast<unsigned char>(Bit(key, kPC1[i]));
    int shift = 0;
    for (int r = 0; r < 16; ++r) {
        shift += kShifts[r];
        for (int j = 0; j < 48; ++j) {
            const int from = kPC2[j] - 1, half = from < 28 ? 0 : 28;
            const unsigned bit = cd[half + (from - half + shift) % 28];
            out.mask[r * 48 + j] = 0 - static_cast<std::uint64_t>(bit);
        }
    }
    explicit_bzero(cd, sizeof cd);
}

const Variant* const kAllVariants[4] = {&kPortable, &kAvx2, &kAvx512, &kAvx512Gfni};

const Variant& PickVariant(const char* forced) {
    const Variant* fastest = &kPortable;
    for (const Variant* v : kAllVariants)
        if (v->runs()) {
            if (forced != nullptr && std::strcmp(forced, v->name) == 0)
                return *v;
            fastest = v;
        }
    return *fastest;
}

bool RunChains(const Variant& variant, std::uint8_t* data, std::size_t length,
               const RoundKeys& keys, const std::uint8_t* iv, bool decrypt) {
    const std::size_t batch = variant.lanes * kChainBytes, full = length - length % batch;
    std::uint8_t* scratch = nullptr;
    if (full < length && (scratch = static_cast<std::uint8_t*>(std::calloc(1, batch))) == nullptr)
        return false;
    const ChainsFn run = decrypt ? variant.decrypt : variant.encrypt;
    for (std::size_t at = 0; at < full; at += batch)
        run(data + at, keys, iv);
    if (scratch != nullptr) {
        std::memcpy(scratch, data + full, length - full);
        run(scratch, keys, iv);
        std::memcpy(data + full, scratch, length - full);
        explicit_bzero(scratch, batch);
        std::free(scratch);
    }
    return true;
}

} // namespace quillmar_des
