// The batch core on AVX-512: 512 chains at a time, selects as one ternary-logic instruction.
// Built with -mavx512f -mavx512bw and only called when the CPU has both; built again as
// des_avx512_gfni.cpp with GFNI and VBMI, which turn the bit transposes into and out of
// slices into byte shuffles and one affine instruction per register.

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

#if defined(__GFNI__) && defined(__AVX512VBMI__)
#define QUILLMAR_DES_OWN_SLICING

constexpr std::size_t kChain = 512;

// Byte indices for vpermb/vpermt2b, built at compile time.
struct Bytes {
    unsigned char at[64];
};

// The butterfly stage of a byte transpose with stride D: the first result keeps its bytes where
// (i & D) == 0 and takes the second input's other ones, the second result the rest.
constexpr Bytes StageLow(int d) {
    Bytes b{};
    for (int i = 0; i < 64; ++i)
        b.at[i] = static_cast<unsigned char>((i & d) ? 64 | (i - d) : i);
    return b;
}

constexpr Bytes StageHigh(int d) {
    Bytes b{};
    for (int i = 0; i < 64; ++i)
        b.at[i] = static_cast<unsigned char>((i & d) ? 64 | i : i + d);
    return b;
}

// Within each 64-bit word: byte 8k + b from byte 8(7 - b) + k (towards slices) ...
constexpr Bytes ToRows() {
    Bytes b{};
    for (int k = 0; k < 8; ++k)
        for (int j = 0; j < 8; ++j)
            b.at[8 * k + j] = static_cast<unsigned char>(8 * (7 - j) + k);
    return b;
}

// ... and the two steps back: reverse the bytes of each word, then byte 8u + k from 8k + u.
constexpr Bytes Reversed() {
    Bytes b{};
    for (int i = 0; i < 64; ++i)
        b.at[i] = static_cast<unsigned char>((i & ~7) | (7 - (i & 7)));
    return b;
}

constexpr Bytes Swapped() {
    Bytes b{};
    for (int i = 0; i < 64; ++i)
        b.at[i] = static_cast<unsigned char>(8 * (i & 7) + i / 8);
    return b;
}

inline __m512i Load(const Bytes& b) {
    return _mm512_loadu_si512(b.at);
}

// vpermb; GCC 12's plain intrinsic trips -Wuninitialized on its own header, the zero-masked
// one does not.
inline __m512i PermuteBytes(__m512i index, __m512i a) {
    return _mm512_maskz_permutexvar_epi8(~0ull, index, a);
}

template <int D> [[gnu::always_inline]] inline void ByteStage(V* x) {
    static constexpr Bytes kLow = StageLow(D), kHigh = StageHigh(D);
    const __m512i lo = Load(kLow), hi = Load(kHigh);
#pragma GCC unroll 32
    for (int j = 0; j < 32; ++j) {
        const int i = (j / D) * 2 * D + j % D;
        const __m512i a = reinterpret_cast<__m512i>(x[i]), b = reinterpret_cast<__m512i>(x[i + D]);
        x[i] = reinterpret_cast<V>(_mm512_permutex2var_epi8(a, lo, b));
        x[i + D] = reinterpret_cast<V>(_mm512_permutex2var_epi8(a, hi, b));
    }
}

// Transposes x[0..63] as a 64x64 matrix of bytes: byte c of x[r] swaps with byte r of x[c].
inline void TransposeBytes(V* x) {
    ByteStage<32>(x);
    ByteStage<16>(x);
    ByteStage<8>(x);
    ByteStage<4>(x);
    ByteStage<2>(x);
    ByteStage<1>(x);
}

// gf2p8affine with these bytes as x transposes the 8x8 bit matrix held in each word of A,
// rows reversed: result byte i bit j is bit i of A's byte 7 - j.
inline __m512i Affine(__m512i a) {
    return _mm512_gf2p8affine_epi64_epi8(_mm512_set1_epi64(0x8040201008040201ll), a, 0);
}

// Lane 8g + u of every slice is chain 8g + u. For each run of eight chains: words transposed
// (block s of all eight in one register), bytes regrouped so that each word holds byte k of
// the eight blocks, one affine transpose of the bits; then one byte transpose per step puts
// the 64 runs side by side.
inline void Slice(const std::uint8_t* lines, V (*block)[64]) {
    static constexpr Bytes kToRows = ToRows();
    const __m512i toRows = Load(kToRows);
    for (int g = 0; g < 64; ++g) {
        __m512i z[8];
        for (int u = 0; u < 8; ++u) {
            if (g + 2 < 64) // the hardware prefetcher cannot follow 512 streams
                __builtin_prefetch(lines + (8 * g + 16 + u) * kChain);
            z[u] = _mm512_loadu_si512(lines + (8 * g + u) * kChain);
        }
        Transpose8(z);
        for (int s = 0; s < 8; ++s)
            block[s][g] = reinterpret_cast<V>(Affine(PermuteBytes(toRows, z[s])));
    }
    for (int s = 0; s < 8; ++s)
        TransposeBytes(block[s]);
}

inline void Unslice(V (*block)[64], std::uint8_t* lines) {
    static constexpr Bytes kReversed = Reversed(), kSwapped = Swapped();
    const __m512i reversed = Load(kReversed), swapped = Load(kSwapped);
    for (int s = 0; s < 8; ++s)
        TransposeBytes(block[s]);
    for (int g = 0; g < 64; ++g) {
        __m512i z[8];
        for (int s = 0; s < 8; ++s) {
            const __m512i r = reinterpret_cast<__m512i>(block[s][g]);
            z[s] = PermuteBytes(swapped, Affine(PermuteBytes(reversed, r)));
        }
        Transpose8(z);
        for (int u = 0; u < 8; ++u)
            _mm512_storeu_si512(lines + (8 * g + u) * kChain, z[u]);
    }
}
#else
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

#endif

#include "bitslice_core.inc"

} // namespace

#ifdef QUILLMAR_DES_OWN_SLICING
const Variant kAvx512Gfni = {"avx512gfni", kLanes, Chains<1>, Chains<-1>};
#else
const Variant kAvx512 = {"avx512", kLanes, Chains<1>, Chains<-1>};
#endif

} // namespace quillmar_des
