#pragma once
// Which module an operation binds, and what its binding status means to the user.

#include "platform/os/Module.h"

namespace quillmar {

// A module file, the entry point of one direction, and the words for the
// module missing.
struct CipherChoice {
    const char* module;
    const char* entry;
    const char* missingMessage;
};

// TRV.DLL, whose missing message names the direction.
CipherChoice TextModuleFor(bool encrypt);
// DES.DLL; the file panel says "encryption" both ways, as its users know it.
CipherChoice FileModuleFor(bool encrypt);

// The message for a module that could not be bound, or nullptr when it is
// bound. missingMessage names the module the operation needed.
const char* BindingFailure(const CModule& module, const char* missingMessage);

} // namespace quillmar
