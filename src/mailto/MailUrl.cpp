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

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1; // lower case is never produced, so it is not accepted either
}

// Undoes PercentEncode; refuses a byte that PercentEncode would have escaped.
std::optional<std::string> PercentDecode(std::string_view s, bool addressPart) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c != '%') {
            if (!KeptRaw(c, addressPart))
                return std::nullopt;
            out += char(c);
            continue;
        }
        if (i + 2 >= s.size())
            return std::nullopt;
        const int hi = HexValue(s[i + 1]);
        const int lo = HexValue(s[i + 2]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += char(hi * 16 + lo);
        i += 2;
    }
    return out;
}

// A line break travels as CR LF; a CR of the text keeps its own %0D, so that even
// "\r\n" comes back as it went.
std::optional<std::string> DecodeBody(std::string_view s) {
    auto raw = PercentDecode(s, false);
    if (!raw)
        return std::nullopt;
    std::string out;
    out.reserve(raw->size());
    for (std::size_t i = 0; i < raw->size(); ++i) {
        const char c = (*raw)[i];
        if (c == '\r' && i + 1 < raw->size() && (*raw)[i + 1] == '\n') {
            out += '\n';
            ++i;
        } else if (c == '\n') {
            return std::nullopt;
        } else {
            out += c;
        }
    }
    return out;
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

std::optional<MailtoParts> ParseMailtoUrl(std::string_view url) {
    if (!url.starts_with(kScheme))
        return std::nullopt;
    url.remove_prefix(kScheme.size());
    // Encoded pieces hold neither "?" nor "&", so the first of each is a separator.
    const auto subjectAt = url.find(kSubject);
    if (subjectAt == std::string_view::npos)
        return std::nullopt;
    const auto bodyAt = url.find(kBody, subjectAt);
    if (bodyAt == std::string_view::npos)
        return std::nullopt;
    auto address = PercentDecode(url.substr(0, subjectAt), true);
    const auto subjectStart = subjectAt + kSubject.size();
    auto subject = PercentDecode(url.substr(subjectStart, bodyAt - subjectStart), false);
    auto body = DecodeBody(url.substr(bodyAt + kBody.size()));
    if (!address || !subject || !body)
        return std::nullopt;
    return MailtoParts{std::move(*address), std::move(*subject), std::move(*body)};
}

} // namespace quillmar
