#include "panels/KeyFileHandlers.h"

#include "operations/KeyFiles.h"
#include "panels/PathChooser.h"
#include "platform/os/FileError.h"
#include "platform/os/FileStreams.h"
#include "platform/os/Wipe.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/MessageBox.h"
#include "res/Strings.h"

#include <optional>
#include <span>

namespace quillmar {

namespace {

void ReportFileError(const CDialog& panel, const FileError& error) {
    AfxMessageBox(&panel, FileErrorSentence(error), std::nullopt, MsgIcon::Stop);
}

} // namespace

void SaveKeyFromField(CDialog& panel, int passwordFieldId, std::string& rememberedPath) {
    const WipedString password(panel.GetDlgItemText(passwordFieldId));
    // Refused before a file is asked for: the user's choice would be wasted.
    if (!FitsKeyFile(password.Value())) {
        AfxMessageBox(&panel, str::kKeyTooLong);
        return;
    }
    if (!ChoosePath(panel, rememberedPath))
        return;
    FileError error;
    if (SaveKeyFile(rememberedPath, password.Value(), CurrentFileLayer(), error) != KeySave::Ok) {
        ReportFileError(panel, error);
        return;
    }
    AfxMessageBox(&panel, str::kKeySaved);
}

void LoadKeyIntoField(CDialog& panel, int passwordFieldId, std::string& rememberedPath) {
    if (!ChoosePath(panel, rememberedPath))
        return;
    FileError error;
    WipedString password{std::string()};
    switch (LoadKeyFile(rememberedPath, CurrentFileLayer(), password.Value(), error)) {
    case KeyLoad::FileError:
        ReportFileError(panel, error);
        return;
    case KeyLoad::Empty:
        AfxMessageBox(&panel, str::kKeyFileEmpty);
        return;
    case KeyLoad::NotKeyFile:
        AfxMessageBox(&panel, str::kNotKeyFile);
        return;
    case KeyLoad::NotShowable:
        AfxMessageBox(&panel, str::kKeyNotLoadable);
        return;
    case KeyLoad::Ok:
        break;
    }
    panel.SetDlgItemText(passwordFieldId, password.Value());
    AfxMessageBox(&panel, str::kKeyLoaded);
}

} // namespace quillmar
