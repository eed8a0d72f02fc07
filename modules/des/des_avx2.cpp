// The batch core on AVX2: 256 chains at a time, only called when the CPU has it.

#include "des_batch.h"

#include <immintrin.h>

#include <cstring>
#include <string.h> // explicit_bzero

namespace quillmar_des {
namespace {

// The check stays outside the target region: it runs on any CPU.
bool Runs() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

#pragma GCC push_options
#pragma GCC target("avx2")

using V = std::uint64_t __attribute__((vector_size(32)));

inline V Sel(V s, V a, V b) {
    return a ^ ((a ^ b) & s);
}

constexpr std::size_t kStride = 64 * 512;

// Transposes the 4x4 matrix of 64-bit words in z[0..3].
inline void Transpose4(__m256i* z) {
    const __m256i t0 = _mm256_unpacklo_epi64(z[0], z[1]), t1 = _mm256_unpackhi_epi64(z[0], z[1]),
                  t2 = _mm256_unpacklo_epi64(z[2], z[3]), t3 = _mm256_unpackhi_epi64(z[2], z[3]);
    z[0] = _mm256_permute2x128_si256(t0, t2, 0x20);
    z[1] = _mm256_permute2x128_si256(t1, t3, 0x20);
    z[2] = _mm256_permute2x128_si256(t0, t2, 0x31);
    z[3] = _mm256_permute2x128_si256(t1, t3, 0x31);
}

inline void LoadLine(const std::uint8_t* p, V* v) {
    for (int h = 0; h < 2; ++h) {
        __m256i z[4];
        for (int m = 0; m < 4; ++m)
            z[m] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + m * kStride + 32 * h));
        Transpose4(z);
        for (int s = 0; s < 4; ++s)
            v[4 * h + s] = reinterpret_cast<V>(z[s]);
    }
}

inline void StoreLine(std::uint8_t* p, const V* v) {
    for (int h = 0; h < 2; ++h) {
        __m256i z[4];
        for (int s = 0; s < 4; ++s)
            z[s] = reinterpret_cast<__m256i>(v[4 * h + s]);
        Transpose4(z);
        for (int m = 0; m < 4; ++m)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + m * kStride + 32 * h), z[m]);
    }
}

#include "bitslice_core.inc"

#pragma GCC pop_options

} // namespace

const Variant kAvx2 = {"avx2", kLanes, Runs, Chains<1>, Chains<-1>};

} // namespace quillmar_des
