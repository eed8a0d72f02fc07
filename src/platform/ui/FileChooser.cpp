#include "platform/ui/FileChooser.h"

#include "platform/locale/Translate.h"
#include "platform/os/FileError.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/FileNames.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/WinApp.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace quillmar {

namespace {
FileChooserService* g_service = nullptr;

std::optional<std::string> ChooseWithPlatformDialog(const FileChooserRequest& r) {
    // Modal to the main window, so that no second chooser can start meanwhile.
    QWidget* owner = nullptr;
    if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd)
        owner = app->m_pMainWnd->GetSafeHwnd();
    else if (r.owner)
        owner = r.owner->GetSafeHwnd();
    QString initial = QString::fromStdString(r.initialPath);
    for (;;) {
        QFileDialog dlg(owner, QString::fromUtf8(Tr(r.title.c_str())));
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(r.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        dlg.setWindowModality(Qt::ApplicationModal);
        // A desktop's own chooser keeps a list of recent files of its own.
        dlg.setOption(QFileDialog::DontUseNativeDialog);
        if (!initial.isEmpty()) {
            QFileInfo info(initial);
            if (info.absoluteDir().exists())
                dlg.setDirectory(info.absolutePath());
            dlg.selectFile(info.fileName());
        }
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return std::nullopt;
        // Qt's chooser gives full paths; the panel keeps them as they are.
        QFileInfo chosen(dlg.selectedFiles().first());
        if (chosen.absoluteDir().exists() && !chosen.isDir())
            return FileNameBytes(chosen.filePath());
        initial = chosen.filePath();
        AfxMessageBox(r.owner, FileErrorSentence({FileErrorCause::BadPath, FileNameBytes(initial)}),
                      std::nullopt, MsgIcon::Exclamation);
    }
}
} // namespace

void SetFileChooserService(FileChooserService* service) {
    g_service = service;
}

std::optional<std::string> AfxChooseFile(const FileChooserRequest& request) {
    return g_service ? g_service->Choose(request) : ChooseWithPlatformDialog(request);
}

} // namespace quillmar
