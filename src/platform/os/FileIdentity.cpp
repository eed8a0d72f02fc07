#include "platform/os/FileIdentity.h"

#include <sys/stat.h>

namespace quillmar {

FileIdentity IdentityOf(const struct stat& st) {
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

} // namespace quillmar
