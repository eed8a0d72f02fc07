// What a replaced file's folder holds when the process ends part-way through
// the writing, and after a finished run: with unnamed files, and with the
// named temporary file of file systems that have none.
#include "platform/os/ReplacingFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillmar;
namespace fs = std::filesystem;

namespace {

// A shell may start us with SIGINT or SIGHUP ignored (a background job); the
// children must end on them as a program normally does.
const bool kSignalsDefault = [] {
    for (const int sig : {SIGTERM, SIGINT, SIGHUP})
        std::signal(sig, SIG_DFL);
    return true;
}();

std::string Pattern(std::size_t size, char seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = char(i * 7 + (i >> 10) + seed);
    return s;
}
const std::string kOld = Pattern(100000, 1), kNew = Pattern((3 << 20) + 1000, 2);

struct Folder {
    fs::path path = [] {
        std::string t = (fs::temp_directory_path() / "quillmar-replace-XXXXXX").string();
        return fs::path(::mkdtemp(t.data()));
    }();
    ~Folder() { fs::remove_all(path); }
};

// Every entry, hidden ones too: name -> size, content, permission bits.
using Listing = std::map<std::string, std::tuple<std::uintmax_t, std::size_t, unsigned>>;
Listing List(const fs::path& dir) {
    Listing listing;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        const std::string content{std::istreambuf_iterator<char>(in), {}};
        listing[e.path().filename()] = {content.size(), std::hash<std::string>{}(content),
                                        unsigned(e.status().permissions())};
    }
    return listing;
}

// The old target, with the given bits.
void PutOld(const fs::path& target, fs::perms mode) {
    std::ofstream(target, std::ios::binary) << kOld;
    fs::permissions(target, mode);
}

// Runs before any test here makes a named file: a program's own handler must
// be in place before ReplacingFile's to be chained to.
TEST(ReplacingFileTest, ProcessEndedPartWayLeavesTheFolderAsItWas) {
    const struct {
        const char* name;
        bool named;
        int sig;
        bool existing;
        bool ownHandler = false; // the program's, which exits with 42
    } cases[] = {
        {"unnamed, SIGKILL, new target", false, SIGKILL, false},
        {"unnamed, SIGKILL, existing target", false, SIGKILL, true},
        {"unnamed, SIGTERM, existing target", false, SIGTERM, true},
        {"named, SIGTERM, existing target", true, SIGTERM, true},
        {"named, SIGINT, new target", true, SIGINT, false},
        {"named, SIGHUP, existing target", true, SIGHUP, true},
        {"named, SIGTERM, the program's own handler", true, SIGTERM, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Folder out;
        if (c.existing)
            PutOld(out.path / "target", fs::perms(0640));
        const Listing before = List(out.path);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ReplacingFile::ForceNamedTemporaryFiles(c.named);
            if (c.ownHandler)
                std::signal(c.sig, [](int) { ::_exit(42); });
            FileError error;
            auto file = ReplacingFile::Create(out.path / "target", 0644, error);
            // Half written, straight to the file: tells the parent, and waits
            // there for the signal.
            if (file && file->Write(kNew.data(), kNew.size() / 2, error) &&
                ::write(fds[1], "!", 1) == 1) {
                for (;;)
                    ::pause();
            }
            ::_exit(1);
        }
        ::close(fds[1]);
        char stopped = 0;
        ASSERT_EQ(::read(fds[0], &stopped, 1), 1); // else the child ended early
        ::close(fds[0]);
        // Nothing named until the end; a named file only its owner can read.
        Listing added = List(out.path);
        std::erase_if(added, [&](const auto& e) { return before.contains(e.first); });
        EXPECT_EQ(added.size(), c.named ? 1u : 0u);
        for (const auto& [name, entry] : added)
            EXPECT_EQ(std::get<2>(entry), 0600u) << name;
        ::kill(child, c.sig);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (c.ownHandler)
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42) << status;
        else
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig) << status;
        EXPECT_EQ(List(out.path), before);
    }
}

TEST(ReplacingFileTest, FinishedRunLeavesOnlyTheTarget) {
    const struct {
        const char* name;
        std::optional<fs::perms> old;
        mode_t newMode;
        bool force;
        bool commit;
        unsigned expected; // the target's bits after the commit
    } cases[] = {
        {"new file, whatever the umask", std::nullopt, 0664, false, true, 0664},
        {"replaced file keeps its mode", fs::perms(0640), 0664, false, true, 0640},
        {"forced, as a key file", fs::perms(0644), 0600, true, true, 0600},
        {"dropped before the commit", fs::perms(0644), 0664, false, false, 0},
    };
    const mode_t oldMask = ::umask(077);
    for (const bool named : {false, true}) {
        ReplacingFile::ForceNamedTemporaryFiles(named);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (named ? ", named" : ", unnamed"));
            Folder out;
            const fs::path target = out.path / "target";
            if (c.old)
                PutOld(target, *c.old);
            const Listing before = List(out.path);
            FileError error;
            {
                auto file = ReplacingFile::Create(target, c.newMode, error, c.force);
                ASSERT_TRUE(file && file->Write(kNew.data(), kNew.size(), error));
                ASSERT_TRUE(!c.commit || file->Commit(error)) << error.path;
            }
            const Listing after = {
                {"target", {kNew.size(), std::hash<std::string>{}(kNew), c.expected}}};
            EXPECT_EQ(List(out.path), c.commit ? after : before);
        }
    }
    ReplacingFile::ForceNamedTemporaryFiles(false);
    ::umask(oldMask);
}

} // namespace
