#include "platform/ui/MessageBox.h"

#include "platform/locale/Translate.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/WinApp.h"

#include <QMessageBox>

namespace quillmar {

namespace {
MessageBoxService* g_service = nullptr;

void ShowPlatformBox(const MessageRecord& m) {
    QWidget* owner = m.owner ? m.owner->GetSafeHwnd() : nullptr;
    QMessageBox box(owner);
    // An empty title would show the application's name on X11; a space stays blank.
    box.setWindowTitle(m.caption.empty() ? QStringLiteral(" ") : QString::fromStdString(m.caption));
    box.setText(QString::fromStdString(m.text));
    box.setTextFormat(Qt::PlainText);
    switch (m.icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}
} // namespace

void SetMessageBoxService(MessageBoxService* service) {
    g_service = service;
}

void AfxMessageBox(const CDialog* owner, std::string_view text,
                   std::optional<std::string_view> caption, MsgIcon icon) {
    // Every message is shown in the user's language: a text that is no message id (a
    // sentence already translated, a path) comes back as it is.
    MessageRecord m{owner, Tr(std::string(text).c_str()), {}, icon};
    if (caption)
        m.caption = Tr(std::string(*caption).c_str());
    else if (AfxGetApp())
        m.caption = AfxGetApp()->AppName();
    if (g_service)
        g_service->Show(m);
    else
        ShowPlatformBox(m);
}

} // namespace quillmar
