// DES: the file cipher. DES-CBC over whole 8-byte blocks, each call starting again from the IV,
// so the program can feed a file in independent chunks.

#include <nettle/cbc.h>
#include <nettle/des.h>

#include "KeyCache.h"
#include "KeyMaterial.h"

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

void Transform(char* data, const char* password, std::int32_t length, bool decrypt) {
    if (data == nullptr || password == nullptr || length <= 0 || length % DES_BLOCK_SIZE != 0)
        return;
    DesKey key;
    g_cache.CopyKey(password, Derive, key);
    auto* bytes = reinterpret_cast<std::uint8_t*>(data);
    const auto size = static_cast<std::size_t>(length);
    if (decrypt)
        cbc_decrypt(&key.cipher, reinterpret_cast<nettle_cipher_func*>(des_decrypt), DES_BLOCK_SIZE,
                    key.iv, size, bytes, bytes);
    else
        cbc_encrypt(&key.cipher, reinterpret_cast<nettle_cipher_func*>(des_encrypt), DES_BLOCK_SIZE,
                    key.iv, size, bytes, bytes);
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

// Both entry points may run at the same time on different buffers.
DES_EXPORT int THREADSAFE(void) {
    return 1;
}
