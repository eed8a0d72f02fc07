#pragma once
// Binds a cipher module for one operation and reports a failure to bind.

#include "crypto/CipherModules.h"
#include "platform/os/Module.h"

#include <memory>

namespace quillmar {

class CDialog;

// The bound module, or nothing after the failure was shown (empty caption).
std::unique_ptr<CModule> BindCipher(const CDialog* owner, const char* fileName,
                                    const char* entryName, const char* missingModuleMessage);

} // namespace quillmar
