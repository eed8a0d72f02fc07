#include "platform/ui/HelpKey.h"

#include "platform/ui/Dialog.h"

#include <QShortcut>
#include <QWidget>

namespace quillmar {

void SetHelpKey(CDialog& dlg, std::function<void()> action) {
    QWidget* window = dlg.GetSafeHwnd();
    if (!window)
        return;
    auto* key = new QShortcut(QKeySequence(Qt::Key_F1), window);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, window, std::move(action));
}

} // namespace quillmar
