#pragma once
// Binding to a cipher module for one operation. The module is released when
// the binding goes out of scope, on every path.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmar {

using CipherEntry = void (*)(char* data, const char* key, std::int32_t length);

// The entry points of a cipher module: one call per text or block, and the
// optional batch entry of the same direction for a run of 512-byte blocks.
inline constexpr const char* kEncryptEntry = "ENCRYPTFUNC";
inline constexpr const char* kDecryptEntry = "DECRYPTFUNC";
inline constexpr const char* kEncryptBatchEntry = "ENCRYPTBLOCKS";
inline constexpr const char* kDecryptBatchEntry = "DECRYPTBLOCKS";

// The executable's folder, then ../lib/quillmar beside it: where the program
// and the command line look for modules.
std::vector<std::filesystem::path> DefaultModuleDirectories(const std::filesystem::path& exeDir);
// The running executable, as the kernel names it; empty when it cannot tell:
// argv[0] is whatever the caller chose to write there.
std::filesystem::path ProgramPath();
// The module folders of ProgramPath; none when it is unknown.
std::vector<std::filesystem::path> ProgramModuleDirectories();

class CModule {
public:
    enum class Status { Bound, ModuleMissing, EntryMissing };

    // Looks for fileName in each folder in turn, by its exact name only; one
    // that others could have changed is skipped as if missing. Every folder on
    // the way, every link followed and the file itself must belong to root or
    // to us and be writable by no one else (a root-owned sticky folder such as
    // /tmp may lie on the way), so that no other user can put code of theirs
    // in our process; the very file judged is what gets loaded.
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
    // Why candidates were skipped, one sentence each.
    const std::vector<std::string>& Skipped() const { return m_skipped; }

private:
    void* m_handle = nullptr;
    CipherEntry m_entry = nullptr;
    std::string m_batchName; // empty when the bound entry has no batch counterpart
    Status m_status = Status::ModuleMissing;
    std::vector<std::string> m_skipped;
};

} // namespace quillmar
