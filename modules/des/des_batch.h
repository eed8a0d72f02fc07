#pragma once
// The batch path of DES.DLL: DES-CBC over many 512-byte chains at once, one bit of every chain
// in each lane of a register, so no table is ever indexed with the key or the data.

#include <cstddef>
#include <cstdint>

namespace quillmar_des {

constexpr std::size_t kChainBytes = 512;

// Round key bits as whole-lane masks (0 or all ones), encryption order, 48 bits a round.
struct RoundKeys {
    std::uint64_t mask[16 * 48];
};

// Runs exactly `lanes` consecutive full chains in place, each from the same IV.
using ChainsFn = void (*)(std::uint8_t* chains, const RoundKeys& keys, const std::uint8_t* iv);

struct Variant {
    const char* name;
    std::size_t lanes;
    // Whether this CPU has what the variant is built for; each variant checks beside its flags.
    bool (*runs)();
    ChainsFn encrypt, decrypt;
};

extern const Variant kPortable, kAvx2, kAvx512, kAvx512Gfni;
// All of them, slowest first.
extern const Variant* const kAllVariants[4];

// The fastest variant this CPU runs, or the one `forced` names if the CPU runs it.
const Variant& PickVariant(const char* forced);

// The standard key schedule of an 8-byte DES key (parity bits ignored), without a branch or an
// address that depends on the key.
void ExpandKey(const std::uint8_t* key, RoundKeys& out);

// data[0 .. length-1]: whole 512-byte chains, the last possibly shorter (a multiple of 8).
// A batch that does not fill the lanes goes through a scratch copy; false when there was no
// memory for one, with the data untouched.
bool RunChains(const Variant& variant, std::uint8_t* data, std::size_t length,
               const RoundKeys& keys, const std::uint8_t* iv, bool decrypt);

} // namespace quillmar_des
