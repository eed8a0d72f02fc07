#pragma once
// Passwords and texts are wiped from memory as soon as they are no longer needed.

#include <cstddef>
#include <string>
#include <utility>

namespace quillmar {

// A wipe the compiler may not remove as a dead store.
void SecureWipe(void* data, std::size_t size);

class WipedString {
public:
    explicit WipedString(std::string s) : m_value(std::move(s)) {
        // A short string lives inside s and is copied, not moved: wipe what stays behind.
        s.resize(s.capacity());
        SecureWipe(s.data(), s.size());
    }
    ~WipedString() {
        // A shortened string keeps its old bytes beyond its end.
        m_value.resize(m_value.capacity());
        SecureWipe(m_value.data(), m_value.size());
    }
    WipedString(const WipedString&) = delete;
    WipedString& operator=(const WipedString&) = delete;
    const std::string& Value() const { return m_value; }
    std::string& Value() { return m_value; }

private:
    std::string m_value;
};

} // namespace quillmar
