// Constant-time check of DES.DLL's batch path under valgrind's memcheck: the key and the data
// are marked undefined, so any branch or memory address computed from them is reported.
// ctest runs it when valgrind is installed; valgrind has no AVX-512, so only the portable and
// AVX2 variants:
//   valgrind --error-exitcode=1 build/bench/des_ct_check portable
//   valgrind --error-exitcode=1 build/bench/des_ct_check avx2
// A third argument, "selftest", adds one deliberate key-dependent branch that must be reported.

#include "des_batch.h"

#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: des_ct_check portable|avx2 [selftest]\n");
        return 2;
    }
    const quillmar_des::Variant& variant = quillmar_des::PickVariant(argv[1]);
    if (std::strcmp(variant.name, argv[1]) != 0) {
        std::fprintf(stderr, "variant %s not available here\n", argv[1]);
        return 77; // ctest: skipped
    }
    // Some full batches and a short tail, so the scratch copy is covered too.
    const std::size_t length = 2 * variant.lanes * quillmar_des::kChainBytes + 3 * 512 + 136;
    std::vector<std::uint8_t> data(length);
    for (std::size_t i = 0; i < length; ++i)
        data[i] = static_cast<std::uint8_t>(i * 167 + 13);
    std::uint8_t key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    std::uint8_t iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    VALGRIND_MAKE_MEM_UNDEFINED(key, sizeof key);
    VALGRIND_MAKE_MEM_UNDEFINED(iv, sizeof iv);
    VALGRIND_MAKE_MEM_UNDEFINED(data.data(), length);

    // The key schedule as DES.DLL runs it, from the key's bytes.
    quillmar_des::RoundKeys keys;
    quillmar_des::ExpandKey(key, keys);
    bool done = quillmar_des::RunChains(variant, data.data(), length, keys, iv, false);
    done = quillmar_des::RunChains(variant, data.data(), length, keys, iv, true) && done;
    if (argc > 2 && std::strcmp(argv[2], "selftest") == 0 && (keys.mask[0] & 1) != 0)
        std::printf("selftest branch taken\n");

    // Only now look at the result, so memcheck's reports above are about the cipher alone.
    VALGRIND_MAKE_MEM_DEFINED(data.data(), length);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < length; ++i)
        wrong += data[i] != static_cast<std::uint8_t>(i * 167 + 13);
    std::printf("%s: %zu bytes through encrypt and decrypt, %s\n", variant.name, length,
                done && wrong == 0 ? "round trip ok" : "ROUND TRIP FAILED");
    return done && wrong == 0 ? 0 : 1;
}
