#pragma once
// Binds a cipher module for one operation and reports a failure to bind.

#include "platform/os/Module.h"

#include <memory>

namespace quillmar {

class CDialog;

// The bound module, or nothing after the failure was shown (empty caption).
std::unique_ptr<CModule> BindCipher(const CDialog* owner, const char* fileName,
                                    const char* entryName, const char* missingModuleMessage);

inline constexpr const char* kTextModule = "TRV.DLL";
inline constexpr const char* kFileModule = "DES.DLL";
inline constexpr const char* kEncryptEntry = "ENCRYPTFUNC";
inline constexpr const char* kDecryptEntry = "DECRYPTFUNC";

} // namespace quillmar
