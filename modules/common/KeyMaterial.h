#pragma once
// Key derivation that leaves no copy of what it derives behind. nettle's own
// PBKDF2 keeps its HMAC states on its stack and does not clear them; here they
// live in one block that is wiped, and the stack that hashing used below the
// caller is wiped after it.

#include <nettle/hmac.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string.h> // explicit_bzero

namespace quillmar_module {

// Clears the stack below the caller's frame, where the functions it called
// left their locals: call it from the function that did the secret work.
template <std::size_t Bytes> __attribute__((noinline)) void ScrubStack() {
    unsigned char area[Bytes];
    explicit_bzero(area, sizeof area);
    __asm__ __volatile__("" : : "r"(area) : "memory");
}

// PBKDF2 rounds of both modules: another count would give other keys, and nothing encrypted
// so far would decrypt.
constexpr unsigned kIterations = 100000;

// PBKDF2-HMAC-SHA256 of password with salt into out.
inline void DeriveKey(const char* password, std::size_t length, const char* salt, std::uint8_t* out,
                      std::size_t outLength) {
    struct {
        hmac_sha256_ctx mac;
        std::uint8_t u[SHA256_DIGEST_SIZE];
        std::uint8_t t[SHA256_DIGEST_SIZE];
        std::uint8_t index[4];
    } s;
    hmac_sha256_set_key(&s.mac, length, reinterpret_cast<const std::uint8_t*>(password));
    for (std::uint32_t block = 1; outLength > 0; ++block) {
        s.index[0] = std::uint8_t(block >> 24), s.index[1] = std::uint8_t(block >> 16);
        s.index[2] = std::uint8_t(block >> 8), s.index[3] = std::uint8_t(block);
        hmac_sha256_update(&s.mac, std::strlen(salt), reinterpret_cast<const std::uint8_t*>(salt));
        hmac_sha256_update(&s.mac, sizeof s.index, s.index);
        // A digest leaves the context keyed again, ready for the next round.
        hmac_sha256_digest(&s.mac, sizeof s.u, s.u);
        std::memcpy(s.t, s.u, sizeof s.t);
        for (unsigned i = 1; i < kIterations; ++i) {
            hmac_sha256_update(&s.mac, sizeof s.u, s.u);
            hmac_sha256_digest(&s.mac, sizeof s.u, s.u);
            for (std::size_t k = 0; k < sizeof s.t; ++k)
                s.t[k] ^= s.u[k];
        }
        const std::size_t n = outLength < sizeof s.t ? outLength : sizeof s.t;
        std::memcpy(out, s.t, n);
        out += n;
        outLength -= n;
    }
    explicit_bzero(&s, sizeof s);
}

} // namespace quillmar_module
