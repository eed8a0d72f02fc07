#include "platform/ui/FileDrop.h"

#include "platform/ui/Dialog.h"
#include "platform/ui/FileNames.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace quillmar {

namespace {

// The first local file's path, as the bytes the URL spells.
std::string DroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())
                .toStdString();
    }
    return {};
}

class FileDropFilter : public QObject {
public:
    FileDropFilter(CDialog& dialog, int id, std::string notText, QObject* parent)
        : QObject(parent), m_dialog(dialog), m_id(id), m_notText(std::move(notText)) {}

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(e);
            if (DroppedFile(drag->mimeData()).empty())
                return false;
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(e);
            const std::string path = DroppedFile(drop->mimeData());
            if (path.empty())
                return false;
            if (HoldsAsText(path))
                m_dialog.SetDlgItemText(m_id, path);
            else
                RefuseFileName(&m_dialog, path, m_notText);
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
    std::string m_notText;
};

} // namespace

void AcceptFileDrops(CDialog& dialog, int id, std::string_view notTextMessage) {
    QWidget* field = dialog.GetDlgItem(id);
    if (!field)
        return;
    field->setAcceptDrops(true);
    // Owned by the field: it goes when the field goes.
    field->installEventFilter(new FileDropFilter(dialog, id, std::string(notTextMessage), field));
}

} // namespace quillmar
