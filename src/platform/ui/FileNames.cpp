#include "platform/ui/FileNames.h"

#include "platform/os/FileError.h"
#include "platform/ui/MessageBox.h"

#include <QFile>

#include <dirent.h>

namespace quillmar {

namespace {

constexpr QChar kReplacement(0xFFFD);

// The entry of folder (bytes) whose name Qt shows as shown, preferring the
// one spelled exactly so; the exact spelling when there is none.
std::string EntryShownAs(const std::string& folder, const QString& shown) {
    std::string exact = QFile::encodeName(shown).toStdString();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return exact;
    std::string found = exact;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == exact) {
            found = exact;
            break;
        }
        if (QFile::decodeName(name.c_str()) == shown)
            found = name;
    }
    ::closedir(dir);
    return found;
}

} // namespace

bool HoldsAsText(std::string_view bytes) {
    const QString text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    const QByteArray back = text.toUtf8();
    return std::string_view(back.constData(), std::size_t(back.size())) == bytes;
}

std::string FileNameBytes(const QString& path) {
    // The chooser's paths are absolute.
    if (!path.contains(kReplacement) || !path.startsWith(QLatin1Char('/')))
        return QFile::encodeName(path).toStdString();
    std::string bytes;
    for (const QString& name : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const std::string folder = bytes.empty() ? "/" : bytes;
        bytes += '/';
        bytes += name.contains(kReplacement) ? EntryShownAs(folder, name)
                                             : QFile::encodeName(name).toStdString();
    }
    return bytes.empty() ? "/" : bytes;
}

void RefuseFileName(const CDialog* owner, std::string_view bytes, std::string_view message) {
    std::string text(message);
    if (const auto at = text.find("%1"); at != std::string::npos)
        text.replace(at, 2, ShownName(bytes));
    AfxMessageBox(owner, text, std::nullopt, MsgIcon::Stop);
}

} // namespace quillmar
