// The batch core on AVX2: 256 chains at a time. Built with -mavx2 and only called when the
// CPU has it.

#include "des_batch.h"

#include <cstring>
#include <string.h> // explicit_bzero

namespace quillmar_des {
namespace {

using V = std::uint64_t __attribute__((vector_size(32)));

inline V Sel(V s, V a, V b) {
    return a ^ ((a ^ b) & s);
}

constexpr std::size_t kStride = 64 * kChainBytes;

inline V Gather(const std::uint8_t* p) {
    std::uint64_t q[4];
    for (std::size_t m = 0; m < 4; ++m)
        std::memcpy(&q[m], p + m * kStride, 8);
    return V{q[0], q[1], q[2], q[3]};
}

inline void Scatter(std::uint8_t* p, V v) {
    for (std::size_t m = 0; m < 4; ++m) {
        const std::uint64_t q = v[m];
        std::memcpy(p + m * kStride, &q, 8);
    }
}

#include "bitslice_core.inc"

} // namespace

const Variant kAvx2 = {"avx2", kLanes, Chains<1>, Chains<-1>};

} // namespace quillmar_des
