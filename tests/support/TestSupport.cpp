#include "TestSupport.h"

#include "platform/ui/WinApp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <dlfcn.h>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace quillmar::test {

TempDir::TempDir() {
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        m_path = base / ("quillmar-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(m_path))
            break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind.
    for (auto& e : std::filesystem::recursive_directory_iterator(m_path, ec))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::filesystem::path RealModuleDir() {
    return QUILLMAR_OUTPUT_DIR;
}

std::filesystem::path FakeModuleDir(const std::string& kind) {
    return std::filesystem::path(QUILLMAR_FAKE_MODULE_DIR) / kind;
}

void UseModuleDir(const std::filesystem::path& dir) {
    AfxGetApp()->SetModuleDirectories({dir});
}

void Click(CDialog& dlg, int id) {
    auto* b = qobject_cast<QAbstractButton*>(dlg.GetDlgItem(id));
    if (!b)
        throw std::runtime_error("no button " + std::to_string(id));
    if (!b->isEnabled() || !b->isVisibleTo(dlg.GetSafeHwnd()))
        throw std::runtime_error("button " + std::to_string(id) + " cannot be clicked");
    b->click();
}

void OnNextModal(std::function<void(CDialog&)> action) {
    // Polls from the event loop of the modal run itself: no sleeping.
    auto* timer = new QTimer(qApp);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget* w = QApplication::activeModalWidget();
        CDialog* dlg = w ? CDialog::FromWidget(w) : nullptr;
        if (!dlg || !dlg->IsModalRun())
            return;
        timer->stop();
        timer->deleteLater();
        action(*dlg);
    });
    timer->start();
}

void PressKey(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

std::string Pattern(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    std::generate(s.begin(), s.end(), std::mt19937(seed));
    return s;
}

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        entries[e.path().string()] = e.is_symlink() ? "link to " + fs::read_symlink(e).string()
                                     : e.is_regular_file()
                                         ? std::to_string(std::hash<std::string>()(ReadFile(e)))
                                         : "other";
    return entries;
}

std::vector<RecordedCall>& RecordedCalls(const std::string& moduleFile) {
    // Holding our own reference keeps the module's record alive while the
    // program loads and releases it around each operation.
    const auto path = FakeModuleDir("recording") / moduleFile;
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h)
        throw std::runtime_error(dlerror());
    using List = std::vector<RecordedCall>* (*)();
    return *reinterpret_cast<List>(dlsym(h, "test_calls"))();
}

} // namespace quillmar::test
