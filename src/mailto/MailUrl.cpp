#include "mailto/MailUrl.h"

namespace quillmar {

namespace {

constexpr std::string_view kScheme = "mailto:";
constexpr std::string_view kSubject = "?subject=";
constexpr std::string_view kBody = "&body=";
constexpr char kHex[] = "0123456789ABCDEF";

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool KeptRaw(unsigned char c, bool addressPart) {
    return IsUnreserved(c) || (addressPart && (c == '@' || c == ','));
}

void AppendEscaped(std::string& out, unsigned char c) {
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
}

std::string EncodeBody(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        if (ch == '\n')
            out += "%0D%0A";
        else if (IsUnreserved(static_cast<unsigned char>(ch)))
            out += ch;
        else
            AppendEscaped(out, static_cast<unsigned char>(ch));
    }
    return out;
}

} // namespace

std::string PercentEncode(std::string_view bytes, bool addressPart) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (KeptRaw(c, addressPart))
            out += ch;
        else
            AppendEscaped(out, c);
    }
    return out;
}

std::string MakeMailtoUrl(std::string_view address, std::string_view subject,
                          std::string_view text) {
    std::string url(kScheme);
    url += PercentEncode(address, true);
    url += kSubject;
    url += PercentEncode(subject);
    url += kBody;
    url += EncodeBody(text);
    return url;
}

} // namespace quillmar
