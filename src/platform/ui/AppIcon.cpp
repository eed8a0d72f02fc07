#include "platform/ui/AppIcon.h"

#include <QFile>

namespace quillmar {

QIcon AppIcon() {
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 32, 48}) {
            const QString path = QStringLiteral(":/quillmar/icon-%1.png").arg(size);
            if (QFile::exists(path))
                i.addFile(path, QSize(size, size));
        }
        return i;
    }();
    return icon;
}

} // namespace quillmar
