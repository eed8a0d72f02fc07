// DES: the file cipher. DES-CBC over whole 8-byte blocks, each call starting again from the IV,
// so the program can feed a file in independent chunks. The batch entry points run many
// 512-byte chunks at once through a bitsliced DES (des_batch.h).

#include <nettle/cbc.h>
#include <nettle/des.h>

#include "KeyCache.h"
#include "KeyMaterial.h"
#include "des_batch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string.h> // explicit_bzero

#define DES_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr char kSalt[] = "Quillmar DES 1";
constexpr unsigned kIterations = 100000;

struct DesKey {
    des_ctx cipher;
    std::uint8_t iv[DES_BLOCK_SIZE];
};

void Derive(const char* pw, std::size_t n, DesKey& out) {
    std::uint8_t material[2 * DES_BLOCK_SIZE];
    quillmar_module::DeriveKey(pw, n, kSalt, kIterations, material, sizeof material);
    des_fix_parity(DES_KEY_SIZE, material, material);
    // A weak key is still set up; there is no way to refuse a password here.
    des_set_key(&out.cipher, material);
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

void Transform(char* data, const char* password, std::int32_t length, bool decrypt) {
    if (data == nullptr || password == nullptr || length <= 0 || length % DES_BLOCK_SIZE != 0)
        return;
    DesKey key;
    g_cache.CopyKey(password, Derive, key);
    CbcChain(key, reinterpret_cast<std::uint8_t*>(data), static_cast<std::size_t>(length), decrypt);
    explicit_bzero(&key, sizeof key);
}

// The batch variant, chosen once at load; QUILLMAR_DES_VARIANT (portable, avx2, avx512 or
// avx512gfni) asks for a slower one, for tests and measurements. Without a readable key
// layout the batch entry points fall back to nettle.
const quillmar_des::Variant* g_variant = nullptr;
bool g_batchReady = false;

__attribute__((constructor)) void ChooseVariant() {
    g_variant = &quillmar_des::PickVariant(std::getenv("QUILLMAR_DES_VARIANT"));
    g_batchReady = quillmar_des::LearnKeyLayout();
}

// Consecutive 512-byte chunks, the last possibly shorter: each its own chain from the IV.
void TransformChunks(char* data, const char* password, std::int32_t length, bool decrypt) {
    if (data == nullptr || password == nullptr || length <= 0 || length % DES_BLOCK_SIZE != 0)
        return;
    DesKey key;
    g_cache.CopyKey(password, Derive, key);
    auto* bytes = reinterpret_cast<std::uint8_t*>(data);
    const auto size = static_cast<std::size_t>(length);
    bool done = false;
    if (g_batchReady) {
        std::uint8_t raw[DES_KEY_SIZE];
        quillmar_des::RoundKeys rounds;
        quillmar_des::RecoverKey(key.cipher, raw);
        quillmar_des::ExpandKey(raw, rounds);
        done = quillmar_des::RunChains(*g_variant, bytes, size, rounds, key.iv, decrypt);
        explicit_bzero(raw, sizeof raw);
        explicit_bzero(&rounds, sizeof rounds);
    }
    // Without memory for the scratch copy: nettle, chunk by chunk.
    for (std::size_t at = 0; !done && at < size; at += quillmar_des::kChainBytes)
        CbcChain(key, bytes + at, std::min(quillmar_des::kChainBytes, size - at), decrypt);
    explicit_bzero(&key, sizeof key);
}

} // namespace

DES_EXPORT void ENCRYPTFUNC(char* data, const char* key, std::int32_t length) {
    Transform(data, key, length, false);
    quillmar_module::ScrubStack(); // what hashing and the cipher left below us
}

DES_EXPORT void DECRYPTFUNC(char* data, const char* key, std::int32_t length) {
    Transform(data, key, length, true);
    quillmar_module::ScrubStack(); // what hashing and the cipher left below us
}

// data holds whole 512-byte chunks of a file, the last possibly shorter; the result is what one
// ENCRYPTFUNC or DECRYPTFUNC call per chunk gives.
DES_EXPORT void ENCRYPTBLOCKS(char* data, const char* key, std::int32_t length) {
    TransformChunks(data, key, length, false);
    // The bitsliced state of 512 lanes takes tens of KiB of stack.
    quillmar_module::ScrubStack<std::size_t{96} << 10>();
}

DES_EXPORT void DECRYPTBLOCKS(char* data, const char* key, std::int32_t length) {
    TransformChunks(data, key, length, true);
    quillmar_module::ScrubStack<std::size_t{96} << 10>();
}

// All entry points may run at the same time on different buffers.
DES_EXPORT int THREADSAFE(void) {
    return 1;
}
