#include "panels/CipherBinding.h"

#include "operations/Binding.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/WinApp.h"

namespace quillmar {

std::vector<std::filesystem::path> ModuleFolders() {
    if (CWinApp* app = AfxGetApp())
        return app->ModuleDirectories();
    return {};
}

bool ReportBinding(const CDialog* owner, const char* failure) {
    if (failure)
        AfxMessageBox(owner, failure, "");
    return !failure;
}

std::unique_ptr<CModule> BindCipher(const CDialog* owner, const CipherChoice& choice) {
    auto module = std::make_unique<CModule>(choice.module, choice.entry, ModuleFolders());
    if (!ReportBinding(owner, BindingFailure(*module, choice.missingMessage)))
        return nullptr;
    return module;
}

} // namespace quillmar
