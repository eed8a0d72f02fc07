#pragma once
// Binds a cipher module for one operation and reports a failure to bind.

#include "operations/Binding.h"
#include "platform/os/Module.h"

#include <memory>

namespace quillmar {

class CDialog;

// The bound module, or nothing after the failure was shown (empty caption).
std::unique_ptr<CModule> BindCipher(const CDialog* owner, const CipherChoice& choice);

// The folders the application looks for modules in.
std::vector<std::filesystem::path> ModuleFolders();

// Shows a module's binding failure (empty caption); false when there was one.
bool ReportBinding(const CDialog* owner, const char* failure);

} // namespace quillmar
