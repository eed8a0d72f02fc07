#pragma once
// Binding to a cipher module for one operation. The module is released when
// the binding goes out of scope, on every path.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quillmar {

using CipherEntry = void (*)(char* data, const char* key, std::int32_t length);

// The executable's folder, then ../lib/quillmar beside it: where the program
// and the command line look for modules.
std::vector<std::filesystem::path> DefaultModuleDirectories(const std::filesystem::path& exeDir);

class CModule {
public:
    enum class Status { Bound, ModuleMissing, EntryMissing };

    // Looks for fileName in each folder in turn, by its exact name only.
    CModule(const std::string& fileName, const std::string& entryName,
            const std::vector<std::filesystem::path>& dirs);
    ~CModule();
    CModule(const CModule&) = delete;
    CModule& operator=(const CModule&) = delete;

    Status GetStatus() const { return m_status; }
    CipherEntry Entry() const { return m_entry; }
    // The module's optional entry of the same direction that takes a run of
    // consecutive 512-byte blocks in one call (ENCRYPTBLOCKS for ENCRYPTFUNC,
    // DECRYPTBLOCKS for DECRYPTFUNC); nullptr when it has none.
    CipherEntry BatchEntry() const;
    // Whether the module declares, through THREADSAFE, that its entry points
    // may run at the same time on different buffers. Modules that say nothing
    // are called one block after another.
    bool ThreadSafe() const;
    void Release();

private:
    void* m_handle = nullptr;
    CipherEntry m_entry = nullptr;
    std::string m_batchName; // empty when the bound entry has no batch counterpart
    Status m_status = Status::ModuleMissing;
};

} // namespace quillmar
