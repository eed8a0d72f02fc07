#include "platform/os/FileIdentity.h"

#include <sys/stat.h>

namespace quillmar {

FileIdentity IdentityOf(const struct stat& st) {
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return IdentityOf(st);
}

} // namespace quillmar
