#include "platform/os/Module.h"

#include "platform/locale/Translate.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmar {

CModule::CModule(const std::string& fileName, const std::string& entryName,
                 const std::vector<std::filesystem::path>& dirs) {
    // Only absolute paths in our own folders: a module planted in the current
    // folder or on the library search path must never be picked up.
    for (const auto& dir : dirs) {
        if (dir.empty() || !dir.is_absolute())
            continue;
        std::error_code ec;
        const auto candidate = std::filesystem::canonical(dir / fileName, ec);
        if (ec || !std::filesystem::is_regular_file(candidate, ec))
            continue;
        if (auto reason = UntrustedModuleReason(candidate)) {
            m_skipped.push_back(
                Fill(Tr(N_("%1 was not loaded: %2")), {candidate.string(), *reason}));
            continue;
        }
        m_handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
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
    else if (entryName == "ENCRYPTFUNC")
        m_batchName = "ENCRYPTBLOCKS";
    else if (entryName == "DECRYPTFUNC")
        m_batchName = "DECRYPTBLOCKS";
}

std::vector<std::filesystem::path> DefaultModuleDirectories(const std::filesystem::path& exeDir) {
    return {exeDir, (exeDir / ".." / "lib" / "quillmar").lexically_normal()};
}

std::vector<std::filesystem::path> ProgramModuleDirectories() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || !exe.is_absolute())
        return {};
    return DefaultModuleDirectories(exe.parent_path());
}

std::optional<std::string> UntrustedModuleReason(const std::filesystem::path& file) {
    const uid_t me = ::geteuid();
    bool isFile = true;
    for (auto p = file;; p = p.parent_path()) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0)
            return Fill(Tr(N_("%1 cannot be examined.")), {p.string()});
        if (st.st_uid != 0 && st.st_uid != me)
            return Fill(Tr(N_("%1 belongs to another user.")), {p.string()});
        // Nobody else can rename or remove our entries in a sticky folder of root's.
        const bool rootSticky = !isFile && st.st_uid == 0 && (st.st_mode & S_ISVTX);
        if ((st.st_mode & (S_IWGRP | S_IWOTH)) && !rootSticky)
            return Fill(Tr(N_("%1 may be written by other users.")), {p.string()});
        if (p == p.parent_path())
            return std::nullopt;
        isFile = false;
    }
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
