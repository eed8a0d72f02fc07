#pragma once
// What the entry points of every module share: how they leave the module, which arguments they
// refuse, and the stack they clear on the way out.

#include "KeyMaterial.h"

#include <cstddef>
#include <cstdint>

// exports.map then keeps everything else local.
#define QUILLMAR_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

namespace quillmar_module {

// transform(bytes, size, password, decrypt) runs only on a buffer, a password and a positive
// length that is a whole number of Unit-byte blocks; anything else leaves the data alone. Then
// the Scrub bytes of stack below are cleared, where hashing and the cipher left key material.
template <std::size_t Unit, std::size_t Scrub = 16384, class Transform>
void Enter(Transform transform, char* data, const char* password, std::int32_t length,
           bool decrypt) {
    if (data != nullptr && password != nullptr && length > 0 &&
        static_cast<std::size_t>(length) % Unit == 0)
        transform(reinterpret_cast<std::uint8_t*>(data), static_cast<std::size_t>(length), password,
                  decrypt);
    ScrubStack<Scrub>();
}

} // namespace quillmar_module

// Defines a pair of entry points, (data, key, length) in the C calling convention, over one
// transform; the rest are Enter's Unit and, if the transform needs more, Scrub.
#define QUILLMAR_MODULE_ENTRY_POINTS(encrypt, decrypt, transform, ...)                             \
    QUILLMAR_MODULE_EXPORT void encrypt(char* data, const char* key, std::int32_t length) {        \
        quillmar_module::Enter<__VA_ARGS__>(transform, data, key, length, false);                  \
    }                                                                                              \
    QUILLMAR_MODULE_EXPORT void decrypt(char* data, const char* key, std::int32_t length) {        \
        quillmar_module::Enter<__VA_ARGS__>(transform, data, key, length, true);                   \
    }
