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
// off-diagonal quarters of 2x2 blocks, d words wide.
inline void Transpose8(__m512i* z) {
    for (int d = 4; d > 0; d >>= 1) {
        long long lo[8], hi[8];
        for (int s = 0; s < 8; ++s) {
            lo[s] = (s & d) ? 8 | (s - d) : s;
            hi[s] = (s & d) ? 8 | s : s + d;
        }
        const __m512i ilo = _mm512_loadu_si512(lo), ihi = _mm512_loadu_si512(hi);
        for (int m = 0; m < 8; m = (m + d + 1) & ~d) {
            const __m512i a = z[m], b = z[m + d];
            z[m] = _mm512_permutex2var_epi64(a, ilo, b);
            z[m + d] = _mm512_permutex2var_epi64(a, ihi, b);
        }
    }
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
