// The batch core on AVX-512 F and BW: 512 chains at a time, only called when the CPU has both.

#include "des_batch.h"

#include <immintrin.h>

#include <cstring>
#include <string.h> // explicit_bzero

namespace quillmar_des {
namespace {

// The check stays outside the target region: it runs on any CPU.
bool Runs() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
}

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw")

#include "avx512_lanes.inc"

constexpr std::size_t kStride = 64 * 512;

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

#pragma GCC pop_options

} // namespace

const Variant kAvx512 = {"avx512", kLanes, Runs, Chains<1>, Chains<-1>};

} // namespace quillmar_des
