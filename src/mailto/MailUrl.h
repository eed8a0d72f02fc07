#pragma once
// The "mailto:" URL that carries a text to the desktop's mail program.

#include <string>
#include <string_view>

namespace quillmar {

// "mailto:" address "?subject=" subject "&body=" text, each piece percent-encoded as
// RFC 6068 asks: a mail program would otherwise cut the body at "&" or "#" and turn "+"
// and "%xx" into other characters, and an encrypted text would no longer decrypt.
std::string MakeMailtoUrl(std::string_view address, std::string_view subject,
                          std::string_view text);

// Every byte outside A-Z a-z 0-9 - . _ ~ becomes %XX. In the address part "@" stays, and
// so does ",", which separates several recipients there.
std::string PercentEncode(std::string_view bytes, bool addressPart = false);

} // namespace quillmar
