#include "platform/ui/FileDrop.h"

#include "platform/ui/Dialog.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace quillmar {

namespace {

QString DroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

class FileDropFilter : public QObject {
public:
    FileDropFilter(CDialog& dialog, int id, QObject* parent)
        : QObject(parent), m_dialog(dialog), m_id(id) {}

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(e);
            if (DroppedFile(drag->mimeData()).isEmpty())
                return false;
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(e);
            const QString path = DroppedFile(drop->mimeData());
            if (path.isEmpty())
                return false;
            m_dialog.SetDlgItemText(m_id, path.toStdString());
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            return true;
        }
        default:
            return false;
        }
    }

private:
    CDialog& m_dialog;
    int m_id;
};

} // namespace

void AcceptFileDrops(CDialog& dialog, int id) {
    QWidget* field = dialog.GetDlgItem(id);
    if (!field)
        return;
    field->setAcceptDrops(true);
    // Owned by the field: it goes when the field goes.
    field->installEventFilter(new FileDropFilter(dialog, id, field));
}

} // namespace quillmar
