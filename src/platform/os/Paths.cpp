#include "platform/os/Paths.h"

#include <unistd.h>

namespace quillmar {

std::string MakeAbsolutePath(std::string_view path) {
    if (path.empty())
        return {};
    std::string joined;
    if (!path.starts_with('/')) {
        char cwd[4096];
        if (!::getcwd(cwd, sizeof cwd))
            return {};
        joined = cwd;
        joined += '/';
    }
    joined += path;
    // "." and empty names go, but ".." stays for the kernel to resolve: after
    // a symlinked folder it leads somewhere else than the text suggests.
    std::string kept;
    std::string_view rest = joined;
    bool folder = false; // the last name was empty or ".": a folder is meant
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
        folder = part.empty() || part == ".";
        if (!folder)
            (kept += '/') += part;
        if (slash != std::string_view::npos && rest.empty())
            folder = true;
    }
    if (kept.empty() || folder)
        kept += '/';
    if (kept.size() >= kMaxPath)
        return {};
    return kept;
}

} // namespace quillmar
