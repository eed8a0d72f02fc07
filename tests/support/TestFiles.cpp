#include "TestFiles.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

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

std::string KeyRecordBytes(const std::string& area, unsigned char length) {
    const std::string r = std::string("QXP\0", 4) + char(length) + std::string(3, '\0') + area;
    return r + std::string(268 - r.size(), '\0');
}

} // namespace quillmar::test
