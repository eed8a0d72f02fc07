// The mailto URL builder on any address, subject and text: the URL holds only
// unreserved bytes and escapes, its separators stand where they belong, and
// undoing the escapes gives back all three.
#include "mailto/MailUrl.h"

#include <cstdlib>
#include <string>
#include <string_view>

using namespace quillmar;

namespace {

int Hex(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Each %XX back to its byte; anything but a letter, digit, -._~ (and @ , in
// the address) unescaped is a fault.
std::string Unescape(std::string_view s, bool address) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           (address && (c == '@' || c == ','));
        if (plain) {
            out += c;
            continue;
        }
        if (c != '%' || i + 2 >= s.size() || Hex(s[i + 1]) < 0 || Hex(s[i + 2]) < 0)
            std::abort();
        out += char(Hex(s[i + 1]) * 16 + Hex(s[i + 2]));
        i += 2;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Two zero bytes split the input into address, subject and text.
    std::string_view in(reinterpret_cast<const char*>(data), size);
    const auto a = in.find('\0');
    const auto b = a == std::string_view::npos ? a : in.find('\0', a + 1);
    if (b == std::string_view::npos)
        return 0;
    const std::string_view address = in.substr(0, a);
    const std::string_view subject = in.substr(a + 1, b - a - 1);
    const std::string_view text = in.substr(b + 1);
    const std::string url = MakeMailtoUrl(address, subject, text);
    const auto s = url.find("?subject="), t = url.find("&body=");
    if (!url.starts_with("mailto:") || s == std::string::npos || t == std::string::npos)
        std::abort();
    std::string body = Unescape(std::string_view(url).substr(t + 6), false), lines;
    // A line break travels as CR LF.
    for (std::size_t i = 0; i < body.size(); ++i)
        lines +=
            body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n' ? body[++i] : body[i];
    if (Unescape(std::string_view(url).substr(7, s - 7), true) != address ||
        Unescape(std::string_view(url).substr(s + 9, t - s - 9), false) != subject || lines != text)
        std::abort();
    return 0;
}
