// DES: the file cipher. DES-CBC over whole 8-byte blocks, each call starting again from the IV,
// so the program can feed a file in independent chunks. The batch entry points run many
// 512-byte chunks at once through a bitsliced DES (des_batch.h).

#include <nettle/cbc.h>
#include <nettle/des.h>

#include "Entry.h"
#include "KeyCache.h"
#include "KeyMaterial.h"
#include "des_batch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string.h> // explicit_bzero

namespace {

constexpr char kSalt[] = "Quillmar DES 1";

struct DesKey {
    des_ctx cipher;                 // nettle's schedule, for the per-call entry points
    std::uint8_t key[DES_KEY_SIZE]; // the batch path builds its own schedule from these
    std::uint8_t iv[DES_BLOCK_SIZE];
};

void Derive(const char* pw, std::size_t n, DesKey& out) {
    std::uint8_t material[DES_KEY_SIZE + DES_BLOCK_SIZE];
    quillmar_module::DeriveKey(pw, n, kSalt, material, sizeof material);
    des_fix_parity(DES_KEY_SIZE, material, material);
    // A weak key is still set up; there is no way to refuse a password here.
    des_set_key(&out.cipher, material);
    std::memcpy(out.key, material, DES_KEY_SIZE);
    std::memcpy(out.iv, material + DES_KEY_SIZE, DES_BLOCK_SIZE);
    explicit_bzero(material, sizeof material);
}

// One derivation costs about as much as encrypting ten thousand blocks and files arrive in
// many small calls.
quillmar_module::KeyCache<DesKey> g_cache;

// DES-CBC through nettle over one chain, from the key's IV.
void CbcChain(const DesKey& key, std::uint8_t* bytes, std::size_t size, bool decrypt) {
    std::uint8_t iv[DES_BLOCK_SIZE];
    std::memcpy(iv, key.iv, sizeof iv);
    if (decrypt)
        cbc_decrypt(&key.cipher, reinterpret_cast<nettle_cipher_func*>(des_decrypt), DES_BLOCK_SIZE,
                    iv, size, bytes, bytes);
    else
        cbc_encrypt(&key.cipher, reinterpret_cast<nettle_cipher_func*>(des_encrypt), DES_BLOCK_SIZE,
                    iv, size, bytes, bytes);
    explicit_bzero(iv, sizeof iv);
}

void Transform(std::uint8_t* bytes, std::size_t size, const char* password, bool decrypt) {
    DesKey key;
    g_cache.CopyKey(password, Derive, key);
    CbcChain(key, bytes, size, decrypt);
    explicit_bzero(&key, sizeof key);
}

// The batch variant, chosen once at load; QUILLMAR_DES_VARIANT (portable, avx2, avx512 or
// avx512gfni) asks for a slower one, for tests and measurements.
const quillmar_des::Variant* g_variant = nullptr;

__attribute__((constructor)) void ChooseVariant() {
    g_variant = &quillmar_des::PickVariant(std::getenv("QUILLMAR_DES_VARIANT"));
}

// Consecutive 512-byte chunks, the last possibly shorter: each its own chain from the IV.
void TransformChunks(std::uint8_t* bytes, std::size_t size, const char* password, bool decrypt) {
    DesKey key;
    g_cache.CopyKey(password, Derive, key);
    quillmar_des::RoundKeys rounds;
    quillmar_des::ExpandKey(key.key, rounds);
    // Without memory for the scratch copy: nettle, chunk by chunk.
    if (!quillmar_des::RunChains(*g_variant, bytes, size, rounds, key.iv, decrypt))
        for (std::size_t at = 0; at < size; at += quillmar_des::kChainBytes)
            CbcChain(key, bytes + at, std::min(quillmar_des::kChainBytes, size - at), decrypt);
    explicit_bzero(&rounds, sizeof rounds);
    explicit_bzero(&key, sizeof key);
}

} // namespace

QUILLMAR_MODULE_ENTRY_POINTS(ENCRYPTFUNC, DECRYPTFUNC, Transform, DES_BLOCK_SIZE)

// data holds whole 512-byte chunks of a file, the last possibly shorter; the result is what one
// ENCRYPTFUNC or DECRYPTFUNC call per chunk gives. The bitsliced state of 512 lanes takes tens
// of KiB of stack.
QUILLMAR_MODULE_ENTRY_POINTS(ENCRYPTBLOCKS, DECRYPTBLOCKS, TransformChunks, DES_BLOCK_SIZE,
                             std::size_t{96} << 10)

// All entry points may run at the same time on different buffers.
QUILLMAR_MODULE_EXPORT int THREADSAFE(void) {
    return 1;
}
