#pragma once
// What a module's binding status means to the user.

#include "platform/os/Module.h"

namespace quillmar {

// The message for a module that could not be bound, or nullptr when it is
// bound. missingMessage names the module the operation needed.
const char* BindingFailure(const CModule& module, const char* missingMessage);

} // namespace quillmar
