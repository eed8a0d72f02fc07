#include "panels/CipherBinding.h"

#include "platform/ui/MessageBox.h"
#include "platform/ui/WinApp.h"
#include "res/Strings.h"

namespace quillmar {

std::unique_ptr<CModule> BindCipher(const CDialog* owner, const char* fileName,
                                    const char* entryName, const char* missingModuleMessage) {
    std::vector<std::filesystem::path> dirs;
    if (CWinApp* app = AfxGetApp())
        dirs = app->ModuleDirectories();
    auto module = std::make_unique<CModule>(fileName, entryName, dirs);
    switch (module->GetStatus()) {
    case CModule::Status::Bound:
        return module;
    case CModule::Status::ModuleMissing:
        AfxMessageBox(owner, missingModuleMessage, "");
        break;
    case CModule::Status::EntryMissing:
        AfxMessageBox(owner, str::kNoFunction, "");
        break;
    }
    return nullptr;
}

} // namespace quillmar
