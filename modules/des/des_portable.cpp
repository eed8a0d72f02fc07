// The batch core on plain 64-bit integers: 64 chains at a time, any x86-64 (or other) CPU.

#include "des_batch.h"

#include <cstring>
#include <string.h> // explicit_bzero

namespace quillmar_des {
namespace {

using V = std::uint64_t;

inline V Sel(V s, V a, V b) {
    return a ^ ((a ^ b) & s);
}

inline V Gather(const std::uint8_t* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Scatter(std::uint8_t* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

#include "bitslice_core.inc"

} // namespace

const Variant kPortable = {"portable", kLanes, Chains<1>, Chains<-1>};

} // namespace quillmar_des
