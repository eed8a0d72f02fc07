#include "platform/os/Module.h"

#include <dlfcn.h>

namespace quillmar {

CModule::CModule(const std::string& fileName, const std::string& entryName,
                 const std::vector<std::filesystem::path>& dirs) {
    // Only absolute paths in our own folders: a module planted in the current
    // folder or on the library search path must never be picked up.
    for (const auto& dir : dirs) {
        if (dir.empty() || !dir.is_absolute())
            continue;
        const auto candidate = dir / fileName;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(candidate, ec))
            continue;
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
