#pragma once
// Shared by the cipher modules: the last password and the key derived from it,
// kept while the module stays loaded because the derivation is deliberately slow.

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string.h> // explicit_bzero

namespace quillmar_module {

// A plain pthread mutex keeps the modules free of the C++ runtime and of
// exceptions, which must not cross the C entry points anyway.
class Locked {
public:
    explicit Locked(pthread_mutex_t& m) : m_mutex(m) { pthread_mutex_lock(&m_mutex); }
    ~Locked() { pthread_mutex_unlock(&m_mutex); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    pthread_mutex_t& m_mutex;
};

template <class Key> struct KeyCache {
    KeyCache() = default;
    KeyCache(const KeyCache&) = delete;
    KeyCache& operator=(const KeyCache&) = delete;
    // Runs when the module is unloaded.
    ~KeyCache() {
        const Locked guard(lock);
        Forget();
    }

    // The key for pw, into the caller's own copy: the cipher then runs on it
    // without the lock, so calls from several threads really overlap.
    template <class DeriveFn> void CopyKey(const char* pw, DeriveFn derive, Key& out) {
        const Locked guard(lock);
        out = Get(pw, derive);
    }

    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    unsigned char* password = nullptr;
    std::size_t length = 0;
    bool valid = false;
    Key key = {};

    void Forget() {
        if (password != nullptr) {
            explicit_bzero(password, length);
            std::free(password);
        }
        password = nullptr;
        length = 0;
        valid = false;
        explicit_bzero(&key, sizeof key);
    }

    // Call with `lock` held. derive(password, size, key) runs only for a new password.
    template <class DeriveFn> const Key& Get(const char* pw, DeriveFn derive) {
        const std::size_t n = std::strlen(pw);
        if (valid && n == length && std::memcmp(password, pw, n) == 0)
            return key;
        Forget();
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

} // namespace quillmar_module
