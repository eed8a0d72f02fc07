#pragma once
// Temporary folders and files, for every test: no window needed.

#include <filesystem>
#include <map>
#include <string>

namespace quillmar::test {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// size bytes of noise, the same for the same seed.
std::string Pattern(std::size_t size, unsigned seed);
std::string ReadFile(const std::filesystem::path& p);
// A key file's record built by hand, independently of the code under test.
std::string KeyRecordBytes(const std::string& area, unsigned char length);
void WriteFile(const std::filesystem::path& p, const std::string& bytes);
// Every entry under a folder with its kind and content. Links are not
// followed: some lead round in a circle.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir);

} // namespace quillmar::test
