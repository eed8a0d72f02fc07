// The batch core on AVX-512: 512 chains at a time, selects as one ternary-logic instruction.
// Built with -mavx512f -mavx512bw and only called when the CPU has both.

#include "des_batch.h"

#include <immintrin.h>

#include <cstring>
#include <string.h> // explicit_bzero

namespace quillmar_des {
namespace {

using V = std::uint64_t __attribute__((vector_size(64)));

inline V Sel(V s, V a, V b) {
    // 0xCA: the first operand picks the second where set, the third elsewhere.
    return reinterpret_cast<V>(_mm512_ternarylogic_epi64(reinterpret_cast<__m512i>(s),
                                                         reinterpret_cast<__m512i>(b),
                                                         reinterpret_cast<__m512i>(a), 0xCA));
}

constexpr std::size_t kStride = 64 * kChainBytes;

inline V Gather(const std::uint8_t* p) {
    std::uint64_t q[8];
    for (std::size_t m = 0; m < 8; ++m)
        std::memcpy(&q[m], p + m * kStride, 8);
    return V{q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7]};
}

inline void Scatter(std::uint8_t* p, V v) {
    for (std::size_t m = 0; m < 8; ++m) {
        const std::uint64_t q = v[m];
        std::memcpy(p + m * kStride, &q, 8);
    }
}

#include "bitslice_core.inc"

} // namespace

const Variant kAvx512 = {"avx512", kLanes, Chains<1>, Chains<-1>};

} // namespace quillmar_des
