#include "platform/os/TargetPlace.h"

#include <cerrno>
#include <climits>
#include <deque>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace quillmar {

namespace {

constexpr int kMaxHops = 40; // as the kernel allows

void Split(std::string_view path, std::deque<std::string>& names, bool front) {
    std::deque<std::string> parts;
    while (!path.empty()) {
        const auto slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        if (!part.empty() && part != ".")
            parts.emplace_back(part);
        if (slash == std::string_view::npos)
            break;
        path.remove_prefix(slash + 1);
    }
    names.insert(front ? names.begin() : names.end(), parts.begin(), parts.end());
}

UniqueFd OpenFolder(int at, const char* name) {
    return UniqueFd(::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// The folder's own path, as /proc tells it; the path as given when it cannot.
std::string Shown(int folder, const std::string& name, const std::string& given) {
    char buffer[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(folder);
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n <= 0 || n == ssize_t(sizeof buffer) || buffer[0] != '/')
        return given;
    std::string shown(buffer, std::size_t(n));
    if (shown.back() != '/')
        shown += '/';
    return shown + name;
}

} // namespace

bool IsSharedFolder(const struct stat& folder) {
    return (folder.st_mode & S_ISVTX) && (folder.st_mode & (S_IWGRP | S_IWOTH));
}

std::optional<TargetPlace> FindTargetPlace(const std::string& path, FileError& error) {
    error = {FileErrorCause::BadPath, path};
    std::deque<std::string> names;
    Split(path, names, false);
    UniqueFd folder = OpenFolder(AT_FDCWD, path.starts_with('/') ? "/" : ".");
    int hops = 0;
    const auto fail = [&](int err) {
        error = ErrnoError(err, error.path);
        return std::nullopt;
    };
    while (folder) {
        if (names.empty())
            return fail(EISDIR); // the path names a folder
        const std::string name = std::move(names.front());
        names.pop_front();
        const bool last = names.empty();
        if (name == "..") {
            if (last)
                return fail(EISDIR);
            folder = OpenFolder(folder.Get(), "..");
            continue;
        }
        struct stat st {};
        const bool exists = ::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (!exists && !(errno == ENOENT && last))
            return fail(errno);
        if (exists && S_ISLNK(st.st_mode)) {
            if (++hops > kMaxHops)
                return fail(ELOOP);
            struct stat here {};
            if (::fstat(folder.Get(), &here) != 0)
                return fail(errno);
            // Anyone may plant a link in /tmp: one that is neither ours nor the
            // folder owner's would let its maker choose what we overwrite.
            if (IsSharedFolder(here) && st.st_uid != ::geteuid() && st.st_uid != here.st_uid) {
                error = {FileErrorCause::ForeignLink, Shown(folder.Get(), name, path)};
                return std::nullopt;
            }
            char buffer[PATH_MAX];
            const ssize_t n = ::readlinkat(folder.Get(), name.c_str(), buffer, sizeof buffer);
            if (n < 0 || n == ssize_t(sizeof buffer))
                return fail(n < 0 ? errno : ENAMETOOLONG);
            const std::string_view target(buffer, std::size_t(n));
            if (target.empty())
                return fail(ENOENT);
            if (target.starts_with('/'))
                folder = OpenFolder(AT_FDCWD, "/");
            Split(target, names, true);
            if (names.empty()) // a link to "/" or "."
                return fail(EISDIR);
            continue;
        }
        if (!last) {
            folder = OpenFolder(folder.Get(), name.c_str());
            continue;
        }
        TargetPlace place;
        if (::fstat(folder.Get(), &place.folderStat) != 0)
            return fail(errno);
        if (exists)
            place.existing = st;
        place.shown = Shown(folder.Get(), name, path);
        place.name = name;
        place.folder = std::move(folder);
        return place;
    }
    return fail(errno);
}

} // namespace quillmar
