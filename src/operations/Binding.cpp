#include "operations/Binding.h"

#include "res/Strings.h"

namespace quillmar {

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
