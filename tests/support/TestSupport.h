#pragma once
// What the GUI tests share: recorders for the platform's seams, scripted
// answers, temporary folders and the test cipher modules.

#include "RecordedCall.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/FileChooser.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/UrlLauncher.h"

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

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
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

// size bytes of noise, the same for the same seed.
std::string Pattern(std::size_t size, unsigned seed);
std::string ReadFile(const std::filesystem::path& p);
void WriteFile(const std::filesystem::path& p, const std::string& bytes);
// Every entry under a folder with its kind and content. Links are not
// followed: some lead round in a circle.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir);

// The calls the recording test module has had (it is loaded once and kept loaded).
std::vector<RecordedCall>& RecordedCalls(const std::string& moduleFile);
inline void ClearRecordedCalls(const std::string& moduleFile) {
    RecordedCalls(moduleFile).clear();
}

} // namespace quillmar::test
