#include "platform/os/FileIdentity.h"

#include <sys/stat.h>

namespace quillmar {

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileIdentity{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

} // namespace quillmar
