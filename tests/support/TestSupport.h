#pragma once
// What the GUI tests share: recorders for the platform's seams, scripted
// answers and the test cipher modules.

#include "RecordedCall.h"
#include "TestFiles.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/FileChooser.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/UrlLauncher.h"

#include <QUrl>
#include <QUrlQuery>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quillmar::test {

// Records every message box instead of showing it.
class MessageRecorder : public MessageBoxService {
public:
    MessageRecorder() { SetMessageBoxService(this); }
    ~MessageRecorder() override { SetMessageBoxService(nullptr); }
    void Show(const MessageRecord& m) override { messages.push_back(m); }
    std::vector<MessageRecord> messages;
};

// Answers file choosers from a script; an empty answer is a cancel.
class ScriptedChooser : public FileChooserService {
public:
    ScriptedChooser() { SetFileChooserService(this); }
    ~ScriptedChooser() override { SetFileChooserService(nullptr); }
    std::optional<std::string> Choose(const FileChooserRequest& r) override {
        requests.push_back(r);
        if (answers.empty())
            return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    std::deque<std::optional<std::string>> answers;
    std::vector<FileChooserRequest> requests;
};

class RecordingLauncher : public UrlLauncherService {
public:
    RecordingLauncher() { SetUrlLauncherService(this); }
    ~RecordingLauncher() override { SetUrlLauncherService(nullptr); }
    bool Open(const std::string& url) override {
        urls.push_back(url);
        return succeed;
    }
    std::vector<std::string> urls;
    bool succeed = true;
};

// Folders of built cipher modules: the real ones, and small ones made for tests.
std::filesystem::path RealModuleDir();
std::filesystem::path
FakeModuleDir(const std::string& kind); // "recording", "encrypt_only", "empty", "broken", "none"
void UseModuleDir(const std::filesystem::path& dir);

// Clicks a control of a dialog as a user would.
void Click(CDialog& dlg, int id);
// Runs action on the next modal dialog that opens, then lets the caller go on.
void OnNextModal(std::function<void(CDialog&)> action);
void PressKey(QWidget* w, int key);

// The calls the recording test module has had (it is loaded once and kept loaded).
std::vector<RecordedCall>& RecordedCalls(const std::string& moduleFile);
inline void ClearRecordedCalls(const std::string& moduleFile) {
    RecordedCalls(moduleFile).clear();
}

// What a mailto URL carries, decoded by Qt rather than by our own code; a line
// break travels as CR LF.
struct MailParts {
    std::string address, subject, body;
    bool operator==(const MailParts&) const = default;
};
inline MailParts DecodeMailto(const std::string& url) {
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    const auto bytes = [](const QString& encoded) {
        return QByteArray::fromPercentEncoding(encoded.toLatin1()).replace("\r\n", "\n").toStdString();
    };
    const QUrlQuery query(parsed);
    return {bytes(parsed.path(QUrl::FullyEncoded)),
            bytes(query.queryItemValue("subject", QUrl::FullyEncoded)),
            bytes(query.queryItemValue("body", QUrl::FullyEncoded))};
}

} // namespace quillmar::test
