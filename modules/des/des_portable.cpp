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

inline void LoadLine(const std::uint8_t* p, V* v) {
    std::memcpy(v, p, 8 * sizeof(V));
}

inline void StoreLine(std::uint8_t* p, const V* v) {
    std::memcpy(p, v, 8 * sizeof(V));
}

#include "bitslice_core.inc"

// Built with the flags of the whole program.
bool Runs() {
    return true;
}

} // namespace

const Variant kPortable = {"portable", kLanes, Runs, Chains<1>, Chains<-1>};

} // namespace quillmar_des
