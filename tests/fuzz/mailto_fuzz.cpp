// The mailto URL builder on any address, subject and text: decoding the URL
// gives back all three.
#include "mailto/MailUrl.h"

#include <cstdlib>
#include <string_view>

using namespace quillmar;

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
    const auto parts = ParseMailtoUrl(url);
    if (!parts || parts->address != address || parts->subject != subject || parts->body != text)
        std::abort();
    return 0;
}
