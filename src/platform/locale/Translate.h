#pragma once
// The user's language, through GNU gettext: one catalogue ("quillmar") for the
// window and the command line alike. No Qt. English texts are the message ids,
// so without a catalogue (C, POSIX, en_*) every text stays as written.

#include <array>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

// Marks a text for the catalogue where it is defined; it is translated where it is shown.
#define N_(text) text
// The same for a text with a count: English says it one way, other languages by the count.
#define NN_(text) text

namespace quillmar {

// Where the catalogues of the program at path lie: <its folder>/locale in a build folder,
// else <its folder>/../share/locale as installed; nothing for an unknown program.
std::filesystem::path CataloguesOf(const std::filesystem::path& program);

// Takes the language from the environment (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) and binds
// the catalogues in dir (none: gettext's default place).
void InitTranslations(const std::filesystem::path& dir);

// The text in the user's language; null and "" give "".
const char* Tr(const char* msgid);
// A text with a count in it: the form the language takes for n.
const char* TrN(const char* msgid, const char* plural, unsigned long n);

// The catalogue's language ("de", "he"), or "" when the texts are English.
std::string CatalogueLanguage();
// Whether that language is written from right to left.
bool RightToLeft();

// Where a language's words cannot fit a control laid out for English, the language carries
// the control's own place (x, y, width, height in dialog units) in a sizes file beside its
// catalogue: LL/LC_MESSAGES/quillmar.sizes, one "dialog-id row x y w h" a line, the row being
// the control's place in its template. Nothing for English, so its layout never changes.
std::optional<std::array<int, 4>> TranslatedPlace(int dialogId, int row);

// pattern with %1 ... %9 replaced by args: translated sentences keep their pieces whole.
std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> args);

} // namespace quillmar
