// The batch core on AVX-512 with GFNI and VBMI: 512 chains at a time, like des_avx512.cpp, but
// the bit transposes into and out of slices are byte shuffles and one affine instruction per
// register. Only called when the CPU has all four.

#include "des_batch.h"

#include <immintrin.h>

#include <cstring>
#include <string.h> // explicit_bzero

namespace quillmar_des {
namespace {

// The check stays outside the target region: it runs on any CPU.
bool Runs() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("gfni") && __builtin_cpu_supports("avx512vbmi");
}

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,gfni,avx512vbmi")

#include "avx512_lanes.inc"

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

#include "bitslice_core.inc"

#pragma GCC pop_options

} // namespace

const Variant kAvx512Gfni = {"avx512gfni", kLanes, Runs, Chains<1>, Chains<-1>};

} // namespace quillmar_des
