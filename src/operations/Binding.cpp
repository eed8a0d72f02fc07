#include "operations/Binding.h"

#include "res/Strings.h"

namespace quillmar {

CipherChoice TextModuleFor(bool encrypt) {
    return encrypt ? CipherChoice{"TRV.DLL", kEncryptEntry, str::kNoEncryptDll}
                   : CipherChoice{"TRV.DLL", kDecryptEntry, str::kNoDecryptDll};
}

CipherChoice FileModuleFor(bool encrypt) {
    return {"DES.DLL", encrypt ? kEncryptEntry : kDecryptEntry, str::kNoEncryptDll};
}

const char* BindingFailure(const CModule& module, const char* missingMessage) {
    switch (module.GetStatus()) {
    case CModule::Status::Bound:
        break;
    case CModule::Status::ModuleMissing:
        return missingMessage;
    case CModule::Status::EntryMissing:
        return str::kNoFunction;
    }
    return nullptr;
}

} // namespace quillmar
