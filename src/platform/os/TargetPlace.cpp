#include "platform/os/TargetPlace.h"

#include <cerrno>
#include <climits>
#include <deque>
#include <fcntl.h>
#include <linux/magic.h> // PROC_SUPER_MAGIC
#include <pwd.h>
#include <string_view>
#include <sys/vfs.h>
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

// /proc's links to open files, working folders and programs read as paths
// but lead to whatever the process holds, or to a "pipe:[…]" that is no path
// at all. Only "self" and "thread-self" are plain links to a process's folder.
bool IsProcLink(int folder, const std::string& name) {
    struct statfs fs {};
    return ::fstatfs(folder, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC && name != "self" &&
           name != "thread-self";
}

// The full path of name in folder (of the folder itself for an empty name),
// as /proc tells it; the path as given when it cannot.
std::string Shown(int folder, const std::string& name, const std::string& given) {
    char buffer[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(folder);
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n <= 0 || n == ssize_t(sizeof buffer) || buffer[0] != '/')
        return given;
    std::string shown(buffer, std::size_t(n));
    if (name.empty())
        return shown;
    if (shown.back() != '/')
        shown += '/';
    return shown + name;
}

} // namespace

bool PlantedInSharedFolder(const struct stat& entry, const struct stat& folder) {
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & (S_IWGRP | S_IWOTH));
    return shared && entry.st_uid != ::geteuid() && entry.st_uid != folder.st_uid;
}

bool StickyAllowsRemoving(const struct stat& entry, const struct stat& folder) {
    const uid_t me = ::geteuid();
    return !(folder.st_mode & S_ISVTX) || me == 0 || entry.st_uid == me || folder.st_uid == me;
}

std::optional<TargetPlace> FindTargetPlace(const std::string& path, FileError& error,
                                           const PathJudge& judge) {
    error = {FileErrorCause::BadPath, path};
    std::deque<std::string> names;
    Split(path, names, false);
    // A last name that is empty or "." means a folder, as does a link's text
    // that ends in a slash.
    bool mustBeFolder = path.ends_with('/') || path.ends_with("/.") || path == ".";
    UniqueFd folder = OpenFolder(AT_FDCWD, path.starts_with('/') ? "/" : ".");
    struct stat here {};
    int hops = 0;
    const auto fail = [&](int err) {
        error = ErrnoError(err, error.path);
        return std::nullopt;
    };
    // Enters next from the folder whose stat is here, as the judge allows.
    const auto enter = [&](UniqueFd next, const std::string& name) {
        struct stat st {};
        if (next && ::fstat(next.Get(), &st) != 0)
            next.Reset();
        if (next && judge) {
            if (const auto cause = judge(st, name.empty() ? st : here)) {
                error = {*cause, Shown(next.Get(), {}, path)};
                return false;
            }
        }
        folder = std::move(next);
        here = st;
        return true;
    };
    if (!enter(std::move(folder), {}))
        return std::nullopt;
    while (folder) {
        if (names.empty())
            return fail(EISDIR); // the path names a folder
        const std::string name = std::move(names.front());
        names.pop_front();
        const bool last = names.empty();
        if (name == "..") {
            if (last)
                return fail(EISDIR);
            if (!enter(OpenFolder(folder.Get(), ".."), name))
                return std::nullopt;
            continue;
        }
        struct stat st {};
        const bool exists = ::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (!exists && !(errno == ENOENT && last))
            return fail(errno);
        if (exists && S_ISLNK(st.st_mode)) {
            if (++hops > kMaxHops)
                return fail(ELOOP);
            std::optional<FileErrorCause> refusal;
            if (PlantedInSharedFolder(st, here))
                refusal = FileErrorCause::ForeignLink;
            else if (IsProcLink(folder.Get(), name))
                refusal = FileErrorCause::BadPath;
            else if (judge)
                refusal = judge(st, here);
            if (refusal) {
                error = {*refusal, Shown(folder.Get(), name, path)};
                return std::nullopt;
            }
            char buffer[PATH_MAX];
            const ssize_t n = ::readlinkat(folder.Get(), name.c_str(), buffer, sizeof buffer);
            if (n < 0 || n == ssize_t(sizeof buffer))
                return fail(n < 0 ? errno : ENAMETOOLONG);
            const std::string_view target(buffer, std::size_t(n));
            if (target.empty())
                return fail(ENOENT);
            if (last && (target.ends_with('/') || target.ends_with("/.") || target == "."))
                mustBeFolder = true;
            if (target.starts_with('/') && !enter(OpenFolder(AT_FDCWD, "/"), {}))
                return std::nullopt;
            Split(target, names, true);
            if (names.empty()) // a link to "/" or "."
                return fail(EISDIR);
            continue;
        }
        if (!last) {
            if (!enter(OpenFolder(folder.Get(), name.c_str()), name))
                return std::nullopt;
            continue;
        }
        if (mustBeFolder) // "file/" names no file, as the kernel says
            return fail(exists && S_ISDIR(st.st_mode) ? EISDIR : ENOTDIR);
        TargetPlace place;
        place.folderStat = here;
        if (exists)
            place.existing = st;
        place.shown = Shown(folder.Get(), name, path);
        place.name = name;
        place.folder = std::move(folder);
        return place;
    }
    return fail(errno);
}

int OpenSecretFile(const std::string& path, FileError& error) {
    const auto place = FindTargetPlace(path, error);
    if (!place)
        return -1;
    error = {FileErrorCause::FileNotFound, place->shown, ENOENT};
    if (!place->existing)
        return -1;
    const int fd = ::openat(place->folder.Get(), place->name.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        error = ErrnoError(errno, place->shown);
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    // Another user's file would give us a password of their choosing.
    if (st.st_uid != ::geteuid() && st.st_uid != 0) {
        passwd entry{}, *found = nullptr;
        char buffer[1024];
        const bool named = ::getpwuid_r(st.st_uid, &entry, buffer, sizeof buffer, &found) == 0 &&
                           found && found->pw_name;
        error = {FileErrorCause::ForeignSecret, place->shown};
        error.owner = named ? found->pw_name : "user " + std::to_string(st.st_uid);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace quillmar
