#include "platform/os/Module.h"

#include "platform/locale/Translate.h"
#include "platform/os/FileError.h"
#include "platform/os/TargetPlace.h"

#include <atomic>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmar {

namespace {

std::optional<FileErrorCause> Untrusted(const struct stat& entry, const struct stat& /*folder*/) {
    if (entry.st_uid != 0 && entry.st_uid != ::geteuid())
        return FileErrorCause::ForeignOwner;
    // A link's own bits mean nothing; the folder it lies in was judged.
    if (S_ISLNK(entry.st_mode))
        return std::nullopt;
    // Nobody else can rename or remove our entries in a sticky folder of root's.
    const bool rootSticky =
        S_ISDIR(entry.st_mode) && entry.st_uid == 0 && (entry.st_mode & S_ISVTX);
    if ((entry.st_mode & (S_IWGRP | S_IWOTH)) && !rootSticky)
        return FileErrorCause::OthersMayWrite;
    return std::nullopt;
}

// The module file at path, open for loading, when the path is trusted; -1
// when it is missing, or untrusted with the reason in reason.
int OpenTrusted(const std::filesystem::path& path, std::string& reason) {
    FileError error;
    const auto place = FindTargetPlace(path.string(), error, Untrusted);
    if (!place) {
        const auto cause = error.cause;
        if (cause == FileErrorCause::ForeignOwner || cause == FileErrorCause::OthersMayWrite ||
            cause == FileErrorCause::ForeignLink)
            reason = FileErrorSentence(error);
        return -1;
    }
    if (!place->existing || !S_ISREG(place->existing->st_mode))
        return -1;
    const int fd = ::openat(place->folder.Get(), place->name.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    if (const auto cause = Untrusted(st, place->folderStat)) {
        reason = FileErrorSentence({*cause, place->shown});
        ::close(fd);
        return -1;
    }
    return fd;
}

// Loads the module open as fd. The loader answers a name it has seen before
// with the object it loaded then, whatever file the name shows now, so each
// load gets a name never used: a count spelled as "/." and "/" in the path,
// which change the name but not where it leads.
void* LoadFrom(int fd) {
    static std::atomic<std::uint32_t> loads{0};
    const std::uint32_t count = loads++;
    std::string name = "/proc";
    for (int bit = 0; bit < 32; ++bit)
        name += (count >> bit) & 1 ? "/." : "/";
    name += "/self/fd/" + std::to_string(fd);
    return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

} // namespace

CModule::CModule(const std::string& fileName, const std::string& entryName,
                 const std::vector<std::filesystem::path>& dirs) {
    // Only absolute paths in our own folders: a module planted in the current
    // folder or on the library search path must never be picked up.
    for (const auto& dir : dirs) {
        if (dir.empty() || !dir.is_absolute())
            continue;
        const auto candidate = dir / fileName;
        std::string reason;
        const int fd = OpenTrusted(candidate, reason);
        if (!reason.empty())
            m_skipped.push_back(
                Fill(Tr(N_("%1 was not loaded: %2")), {candidate.string(), reason}));
        if (fd < 0)
            continue;
        // Loaded through the descriptor: nothing can be swapped in after the check.
        m_handle = LoadFrom(fd);
        ::close(fd);
        if (m_handle)
            break;
    }
    if (!m_handle) {
        m_status = Status::ModuleMissing;
        return;
    }
    m_entry = reinterpret_cast<CipherEntry>(dlsym(m_handle, entryName.c_str()));
    m_status = m_entry ? Status::Bound : Status::EntryMissing;
    if (!m_entry)
        Release();
    else if (entryName == kEncryptEntry)
        m_batchName = kEncryptBatchEntry;
    else if (entryName == kDecryptEntry)
        m_batchName = kDecryptBatchEntry;
}

std::vector<std::filesystem::path> DefaultModuleDirectories(const std::filesystem::path& exeDir) {
    return {exeDir, (exeDir / ".." / "lib" / "quillmar").lexically_normal()};
}

std::filesystem::path ProgramPath() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec || !exe.is_absolute() ? std::filesystem::path() : exe;
}

std::vector<std::filesystem::path> ProgramModuleDirectories() {
    const auto exe = ProgramPath();
    if (exe.empty())
        return {};
    return DefaultModuleDirectories(exe.parent_path());
}

bool CModule::ThreadSafe() const {
    if (!m_handle)
        return false;
    const auto declared = reinterpret_cast<int (*)()>(dlsym(m_handle, "THREADSAFE"));
    return declared && declared() != 0;
}

CipherEntry CModule::BatchEntry() const {
    if (!m_handle || m_batchName.empty())
        return nullptr;
    return reinterpret_cast<CipherEntry>(dlsym(m_handle, m_batchName.c_str()));
}

CModule::~CModule() {
    Release();
}

void CModule::Release() {
    m_entry = nullptr;
    if (m_handle) {
        dlclose(m_handle);
        m_handle = nullptr;
    }
}

} // namespace quillmar
