// The mailto URL builder on any address, subject and text: the URL holds only
// unreserved bytes and escapes, its separators stand where they belong, and
// undoing the escapes gives back all three.
#include "mailto/MailUrl.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Each %XX back to its byte; a byte left raw that must not be (only letters,
// digits, -._~ and, in the address, @ and , may) is a fault. CR LF was a line break.
std::string Unescape(std::string_view s, std::string_view raw, bool body = false) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto hex = [&](std::size_t k) {
            const char c = k < s.size() ? s[k] : '?';
            return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        };
        if (std::isalnum(static_cast<unsigned char>(s[i])) || raw.find(s[i]) != raw.npos)
            out += s[i];
        else if (s[i] == '%' && hex(i + 1) >= 0 && hex(i + 2) >= 0)
            out += char(hex(i + 1) * 16 + hex(i + 2)), i += 2;
        else
            std::abort();
        if (body && out.ends_with("\r\n"))
            out.erase(out.size() - 2, 1);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Two zero bytes split the input into address, subject and text.
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const auto a = in.find('\0');
    const auto b = a == in.npos ? a : in.find('\0', a + 1);
    if (b == in.npos)
        return 0;
    const std::string url =
        quillmar::MakeMailtoUrl(in.substr(0, a), in.substr(a + 1, b - a - 1), in.substr(b + 1));
    const std::string_view u = url;
    const auto s = u.find("?subject="), t = u.find("&body=");
    if (!u.starts_with("mailto:") || s == u.npos || t == u.npos ||
        Unescape(u.substr(7, s - 7), "-._~@,") != in.substr(0, a) ||
        Unescape(u.substr(s + 9, t - s - 9), "-._~") != in.substr(a + 1, b - a - 1) ||
        Unescape(u.substr(t + 6), "-._~", true) != in.substr(b + 1))
        std::abort();
    return 0;
}
