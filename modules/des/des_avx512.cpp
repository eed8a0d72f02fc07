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

constexpr std::size_t kStride = 64 * 512;

// Transposes the 8x8 matrix of 64-bit words in z[0..7]: three rounds of swapping the
// off-diagonal quarters of 2x2 blocks, D words wide.
template <int D> [[gnu::always_inline]] inline void Transpose8Stage(__m512i* z) {
    // Word s of the first result comes from the first input where (s & D) == 0, else from the
    // second; the other result takes the remaining words.
    const __m512i lo =
        _mm512_set_epi64(7 & D ? 8 | (7 - D) : 7, 6 & D ? 8 | (6 - D) : 6, 5 & D ? 8 | (5 - D) : 5,
                         4 & D ? 8 | (4 - D) : 4, 3 & D ? 8 | (3 - D) : 3, 2 & D ? 8 | (2 - D) : 2,
                         1 & D ? 8 | (1 - D) : 1, 0);
    const __m512i hi = _mm512_set_epi64(7 & D ? 15 : 7 + D, 6 & D ? 14 : 6 + D, 5 & D ? 13 : 5 + D,
                                        4 & D ? 12 : 4 + D, 3 & D ? 11 : 3 + D, 2 & D ? 10 : 2 + D,
                                        1 & D ? 9 : 1 + D, D);
    for (int j = 0; j < 4; ++j) {
        const int m = (j / D) * 2 * D + j % D;
        const __m512i a = z[m], b = z[m + D];
        z[m] = _mm512_permutex2var_epi64(a, lo, b);
        z[m + D] = _mm512_permutex2var_epi64(a, hi, b);
    }
}

inline void Transpose8(__m512i* z) {
    Transpose8Stage<4>(z);
    Transpose8Stage<2>(z);
    Transpose8Stage<1>(z);
}

inline void LoadLine(const std::uint8_t* p, V* v) {
    __m512i z[8];
    for (int m = 0; m < 8; ++m)
        z[m] = _mm512_loadu_si512(p + m * kStride);
    Transpose8(z);
    for (int s = 0; s < 8; ++s)
        v[s] = reinterpret_cast<V>(z[s]);
}

inline void StoreLine(std::uint8_t* p, const V* v) {
    __m512i z[8];
    for (int s = 0; s < 8; ++s)
        z[s] = reinterpret_cast<__m512i>(v[s]);
    Transpose8(z);
    for (int m = 0; m < 8; ++m)
        _mm512_storeu_si512(p + m * kStride, z[m]);
}

#include "bitslice_core.inc"

} // namespace

const Variant kAvx512 = {"avx512", kLanes, Chains<1>, Chains<-1>};

} // namespace quillmar_des
