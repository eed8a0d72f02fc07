#include "panels/CipherBinding.h"

#include "operations/Binding.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/WinApp.h"

namespace quillmar {

std::unique_ptr<CModule> BindCipher(const CDialog* owner, const char* fileName,
                                    const char* entryName, const char* missingModuleMessage) {
    std::vector<std::filesystem::path> dirs;
    if (CWinApp* app = AfxGetApp())
        dirs = app->ModuleDirectories();
    auto module = std::make_unique<CModule>(fileName, entryName, dirs);
    if (const char* failure = BindingFailure(*module, missingModuleMessage)) {
        AfxMessageBox(owner, failure, "");
        return nullptr;
    }
    return module;
}

} // namespace quillmar
