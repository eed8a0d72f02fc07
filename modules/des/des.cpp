// DES: the file cipher. DES-CBC over whole 8-byte blocks, each call starting again from the IV,
// so the program can feed a file in independent chunks.

#include <nettle/cbc.h>
#include <nettle/des.h>
#include <nettle/pbkdf2.h>

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

void derive(const char* pw, std::size_t n, DesKey& out) {
    std::uint8_t material[2 * DES_BLOCK_SIZE];
    pbkdf2_hmac_sha256(n, reinterpret_cast<const std::uint8_t*>(pw), kIterations, sizeof kSalt - 1,
                       reinterpret_cast<const std::uint8_t*>(kSalt), sizeof material, material);
    des_fix_parity(DES_KEY_SIZE, material, material);
    // A weak key is still set up; there is no way to refuse a password here.
    des_set_key(&out.cipher, material);
    std::memcpy(out.iv, material + DES_KEY_SIZE, DES_BLOCK_SIZE);
    explicit_bzero(material, sizeof material);
}

// A plain pthread mutex keeps the module free of the C++ runtime and of exceptions, which
// must not cross the C entry points anyway.
class Locked {
public:
    explicit Locked(pthread_mutex_t& m) : m_(m) { pthread_mutex_lock(&m_); }
    ~Locked() { pthread_mutex_unlock(&m_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    pthread_mutex_t& m_;
};

// One derivation costs about as much as encrypting ten thousand blocks and files arrive in
// many small calls, so the last password and its key stay here until the module is unloaded.
struct KeyCache {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    unsigned char* password = nullptr;
    std::size_t length = 0;
    bool valid = false;
    DesKey key = {};

    void forget() {
        if (password != nullptr) {
            explicit_bzero(password, length);
            std::free(password);
        }
        password = nullptr;
        length = 0;
        valid = false;
        explicit_bzero(&key, sizeof key);
    }

    // Call with `lock` held.
    const DesKey& get(const char* pw) {
        const std::size_t n = std::strlen(pw);
        if (valid && n == length && std::memcmp(password, pw, n) == 0)
            return key;
        forget();
        derive(pw, n, key);
        // Without memory we just derive again next time.
        password = static_cast<unsigned char*>(std::malloc(n > 0 ? n : 1));
        if (password != nullptr) {
            std::memcpy(password, pw, n);
            length = n;
            valid = true;
        }
        return key;
    }
};

KeyCache g_cache;

__attribute__((destructor)) void wipe_cache() {
    const Locked guard(g_cache.lock);
    g_cache.forget();
}

void transform(char* data, const char* password, std::int32_t length, bool decrypt) {
    if (data == nullptr || password == nullptr || length <= 0 || length % DES_BLOCK_SIZE != 0)
        return;
    const Locked guard(g_cache.lock);
    const DesKey& key = g_cache.get(password);
    std::uint8_t iv[DES_BLOCK_SIZE];
    std::memcpy(iv, key.iv, sizeof iv);
    auto* bytes = reinterpret_cast<std::uint8_t*>(data);
    const auto size = static_cast<std::size_t>(length);
    if (decrypt)
        cbc_decrypt(&key.cipher, reinterpret_cast<nettle_cipher_func*>(des_decrypt), DES_BLOCK_SIZE,
                    iv, size, bytes, bytes);
    else
        cbc_encrypt(&key.cipher, reinterpret_cast<nettle_cipher_func*>(des_encrypt), DES_BLOCK_SIZE,
                    iv, size, bytes, bytes);
    explicit_bzero(iv, sizeof iv);
}

} // namespace

DES_EXPORT void ENCRYPTFUNC(char* data, const char* key, std::int32_t length) {
    transform(data, key, length, false);
}

DES_EXPORT void DECRYPTFUNC(char* data, const char* key, std::int32_t length) {
    transform(data, key, length, true);
}
