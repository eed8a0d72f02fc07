#include "platform/locale/Translate.h"

#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <libintl.h>
#include <map>
#include <mutex>
#include <sstream>
#include <utility>

namespace quillmar {

namespace {

constexpr const char* kDomain = "quillmar";

} // namespace

std::filesystem::path CataloguesOf(const std::filesystem::path& program) {
    if (program.empty())
        return {};
    const auto dir = program.parent_path();
    // A build folder holds its compiled catalogues beside the programs.
    std::error_code ec;
    if (std::filesystem::is_directory(dir / "locale", ec))
        return dir / "locale";
    return (dir / ".." / "share" / "locale").lexically_normal();
}

void InitTranslations(const std::filesystem::path& dir) {
    // Only the language and the character set: numbers and the rest stay as C prints them.
    std::setlocale(LC_MESSAGES, "");
    std::setlocale(LC_CTYPE, "");
    if (!dir.empty())
        bindtextdomain(kDomain, dir.c_str());
    bind_textdomain_codeset(kDomain, "UTF-8");
}

const char* Tr(const char* msgid) {
    // "" would give the catalogue's header.
    if (!msgid || !*msgid)
        return "";
    return dgettext(kDomain, msgid);
}

const char* TrN(const char* msgid, const char* plural, unsigned long n) {
    return dngettext(kDomain, msgid, plural, n);
}

std::string CatalogueLanguage() {
    // The header of the catalogue gettext chose names its language.
    const std::string_view header = dgettext(kDomain, "");
    const auto at = header.find("Language: ");
    if (at == std::string_view::npos)
        return {};
    const auto value = header.substr(at + std::strlen("Language: "));
    return std::string(value.substr(0, value.find_first_of("\n_@.")));
}

std::optional<std::array<int, 4>> TranslatedPlace(int dialogId, int row) {
    using Places = std::map<std::pair<int, int>, std::array<int, 4>>;
    static std::mutex mutex;
    static std::map<std::string, Places> byLanguage; // read once a language
    const std::string language = CatalogueLanguage();
    if (language.empty())
        return std::nullopt;
    const std::lock_guard lock(mutex);
    auto [it, fresh] = byLanguage.try_emplace(language);
    if (fresh) {
        const char* dir = bindtextdomain(kDomain, nullptr);
        std::ifstream in(std::filesystem::path(dir ? dir : "") / language / "LC_MESSAGES" /
                         "quillmar.sizes");
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line.substr(0, line.find('#')));
            int id = 0, index = 0;
            std::array<int, 4> place{};
            if (fields >> id >> index >> place[0] >> place[1] >> place[2] >> place[3])
                it->second[{id, index}] = place;
        }
    }
    const auto found = it->second.find({dialogId, row});
    if (found == it->second.end())
        return std::nullopt;
    return found->second;
}

bool RightToLeft() {
    const std::string language = CatalogueLanguage();
    for (const char* rtl : {"ar", "fa", "he", "ur", "yi"})
        if (language == rtl)
            return true;
    return false;
}

std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const std::size_t n = std::size_t(pattern[i + 1] - '1');
            if (n < args.size()) {
                out += *(args.begin() + n);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace quillmar
