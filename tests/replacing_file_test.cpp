// What a replaced file's folder holds when the process ends part-way through
// the writing, and after a finished run: with unnamed files, and with the
// named temporary file of file systems that have none.
#include "TestFiles.h"
#include "platform/os/ReplacingFile.h"
#include "platform/os/TemporaryFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <pwd.h>
#include <span>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillmar;
namespace fs = std::filesystem;

namespace {

// Every number in the new content is its own offset: no two blocks are alike,
// so one written at the wrong place changes the content.
const std::string kOld(100000, 'o'), kNew = [s = std::string()]() mutable {
    while (s.size() < (3 << 20) + 1000)
        s += std::to_string(s.size()) + ',';
    return s.substr(0, (3 << 20) + 1000);
}();
const std::hash<std::string> Hash;

// A fresh folder; its "target" holds kOld with the given bits, or is absent for 0.
struct Folder : test::TempDir {
    explicit Folder(unsigned mode) {
        if (mode && (std::ofstream(target, std::ios::binary) << kOld))
            fs::permissions(target, fs::perms(mode));
    }
    fs::path target = path() / "target";
};

// Every entry, hidden ones too: name -> hash of the content, permission bits.
using Listing = std::map<std::string, std::pair<std::size_t, unsigned>>;
Listing List(const fs::path& dir) {
    Listing listing;
    for (const auto& e : fs::directory_iterator(dir))
        listing[e.path().filename()] = {
            Hash((std::ostringstream() << std::ifstream(e.path(), std::ios::binary).rdbuf()).str()),
            unsigned(e.status().permissions())};
    return listing;
}

// First here: a program's own handler must be in place before ReplacingFile
// makes its first named file, to be chained to.
TEST(ReplacingFileTest, ProcessEndedPartWayLeavesTheFolderAsItWas) {
    // Named temporary file, signal, the old target's bits (0: none), and
    // whether the program has its own handler, which exits with 42.
    const std::tuple<bool, int, unsigned, bool> cases[] = {
        {false, SIGKILL, 0, false},   {false, SIGKILL, 0640, false}, {false, SIGTERM, 0640, false},
        {true, SIGTERM, 0640, false}, {true, SIGINT, 0, false},      {true, SIGHUP, 0640, false},
        {true, SIGTERM, 0640, true},  {true, SIGUSR1, 0640, false},  {true, SIGALRM, 0, false},
        {true, SIGPROF, 0640, false},
    };
    for (const auto& [named, sig, mode, ownHandler] : cases) {
        SCOPED_TRACE(testing::Message() << named << " " << sig << " " << mode << " " << ownHandler);
        const Folder out(mode);
        const Listing before = List(out.path());
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ReplacingFile::ForceNamedTemporaryFiles(named);
            // A shell may start us with SIGINT or SIGHUP ignored (a background
            // job); the child must end on them as a program normally does.
            std::signal(sig, ownHandler ? +[](int) { ::_exit(42); } : SIG_DFL);
            FileError error;
            auto file = ReplacingFile::Create(out.target, 0644, error);
            // Half written, straight to the file: stops there for the parent.
            if (file && file->Write(kNew.data(), kNew.size() / 2, error))
                ::raise(SIGSTOP);
            ::_exit(1); // the signal must end the child before this
        }
        int status = 0;
        // Else the child ended early.
        ASSERT_TRUE(::waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status)) << status;
        // Nothing named until the end; a named file only its owner can read.
        const Listing during = List(out.path());
        EXPECT_EQ(during.size(), before.size() + named);
        for (const auto& [name, entry] : during)
            EXPECT_TRUE(before.contains(name) || entry.second == 0600u) << name;
        ::kill(child, sig);
        ::kill(child, SIGCONT); // a stopped process handles no signal but SIGKILL
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(status, ownHandler ? W_EXITCODE(42, 0) : W_EXITCODE(0, sig));
        EXPECT_EQ(List(out.path()), before);
    }
}

TEST(ReplacingFileTest, FinishedRunLeavesOnlyTheTarget) {
    // The old target's bits (0: none), the new mode, forced, committed, and
    // the target's bits afterwards.
    const std::tuple<unsigned, mode_t, bool, bool, unsigned> cases[] = {
        {0, 0664, false, true, 0664},     // a new file, whatever the umask
        {0640, 0664, false, true, 0640},  // a replaced file keeps its mode
        {0644, 0600, true, true, 0600},   // forced, as for a key file
        {0644, 0664, false, false, 0644}, // dropped before the commit: the old one
    };
    const mode_t oldMask = ::umask(077);
    for (const bool named : {false, true}) {
        ReplacingFile::ForceNamedTemporaryFiles(named);
        for (const auto& [old, mode, force, commit, expected] : cases) {
            SCOPED_TRACE(testing::Message() << named << " " << old << " " << mode);
            const Folder out(old);
            FileError error;
            auto file = ReplacingFile::Create(out.target, mode, error, force);
            ASSERT_TRUE(file && file->Write(kNew.data(), kNew.size(), error));
            ASSERT_TRUE(!commit || file->Commit(error)) << error.path;
            file.reset(); // a commit must outlast the object; without one it is dropped
            EXPECT_EQ(List(out.path()),
                      Listing({{"target", {Hash(commit ? kNew : kOld), expected}}}));
        }
    }
    // More named files at once than the signal handler's table holds: all are written.
    ReplacingFile::ForceNamedTemporaryFiles(true);
    const Folder out(0);
    std::vector<ReplacingFile> held;
    FileError error;
    for (std::size_t i = 0; i <= TemporaryTableSize(); ++i)
        held.push_back(*ReplacingFile::Create(out.path() / std::to_string(i), 0600, error));
    for (auto& file : held)
        EXPECT_TRUE(file.Write("x", 1, error) && file.Commit(error));
    EXPECT_EQ(List(out.path()).size(), held.size());
    ReplacingFile::ForceNamedTemporaryFiles(false);
    ::umask(oldMask);
}

// As another user would lay them: in a folder anyone may write, links and files
// that others made are refused; elsewhere a link goes where the kernel takes it.
TEST(ReplacingFileTest, LinksAndFilesOfOtherUsersInSharedFoldersAreRefused) {
    const Folder top(0);
    const fs::path pub = top.path() / "pub", priv = top.path() / "priv";
    fs::create_directories(priv / "real" / "sub");
    fs::create_directory(pub);
    fs::permissions(pub, fs::perms(01777));
    fs::permissions(top.path(), fs::perms(0755));
    fs::create_directory_symlink("real/sub", priv / "alias");
    fs::create_symlink("../data.txt", priv / "real" / "sub" / "tgt");
    for (const auto& name : {"data.txt", "real/data.txt", "precious", "theirs"})
        std::ofstream(priv / name) << kOld;
    fs::create_symlink(priv / "precious", pub / "mine");
    const passwd* nobody = ::getpwnam("nobody");
    const bool root = ::geteuid() == 0 && nobody;
    const fs::path shared = top.path() / "shared";
    if (root) {
        // Ours for another user to replace: a group file in a folder they may
        // write, and a file in our sticky folder.
        fs::create_directory(shared);
        fs::permissions(shared, fs::perms(0777));
        std::ofstream(shared / "group") << kOld;
        ASSERT_EQ(::chown((shared / "group").c_str(), 0, nobody->pw_gid), 0);
        fs::permissions(shared / "group", fs::perms(0660));
        std::ofstream(pub / "roots") << kOld;
        fs::permissions(pub / "roots", fs::perms(0666));
        // What another user plants: a link to our file, a setuid file of theirs.
        const pid_t child = ::fork();
        if (child == 0) {
            ::umask(022);
            const bool ok = ::setresgid(nobody->pw_gid, nobody->pw_gid, nobody->pw_gid) == 0 &&
                            ::setgroups(0, nullptr) == 0 &&
                            ::setresuid(nobody->pw_uid, nobody->pw_uid, nobody->pw_uid) == 0;
            const bool linked =
                ::symlink((priv / "precious").c_str(), (pub / "qm-out").c_str()) == 0;
            std::ofstream(pub / "report") << kOld;
            ::chmod((pub / "report").c_str(), 04755);
            FileError error;
            auto group = ReplacingFile::Create(shared / "group", 0666, error);
            const bool replaced = group && group->Write("x", 1, error) && group->Commit(error);
            // The sticky bit forbids the rename: refused before anything is written.
            const bool refused = !ReplacingFile::Create(pub / "roots", 0666, error) &&
                                 error.cause == FileErrorCause::AccessDenied;
            ::_exit((!ok) | (!linked) << 1 | (!replaced) << 2 | (!refused) << 3);
        }
        int status = 0;
        ASSERT_TRUE(::waitpid(child, &status, 0) == child && status == 0);
        // Who could not read or write the old file cannot now: the group stays, others get nothing.
        struct stat st {};
        ASSERT_EQ(::stat((shared / "group").c_str(), &st), 0);
        EXPECT_EQ(std::tuple(st.st_uid, st.st_gid, st.st_mode & 07777),
                  std::tuple(nobody->pw_uid, nobody->pw_gid, 0660u));
        ASSERT_EQ(::chown((priv / "theirs").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        fs::permissions(priv / "theirs", fs::perms(06600));
        std::ofstream(pub / "setuid") << kOld;
        fs::permissions(pub / "setuid", fs::perms(04755));
    }
    // The path, the cause of a refusal (Generic: replaced), what holds the new
    // content then with which bits; the rows that need another user first.
    // Root keeps another user's file theirs, with its bits but no set-id ones.
    const std::tuple<fs::path, FileErrorCause, fs::path, unsigned> cases[] = {
        {pub / "qm-out", FileErrorCause::ForeignLink, {}, 0},
        {pub / "report", FileErrorCause::ForeignFile, {}, 0},
        {pub / "setuid", FileErrorCause::Generic, pub / "setuid", 0755},
        {priv / "theirs", FileErrorCause::Generic, priv / "theirs", 0600},
        {priv / "alias" / "tgt", FileErrorCause::Generic, priv / "real" / "data.txt", 0644},
        {pub / "mine", FileErrorCause::Generic, priv / "precious", 0644},
        // A trailing slash names a folder; /proc's links to open files are no place to write.
        {priv / "data.txt/", FileErrorCause::FileNotFound, {}, 0},
        {priv / "newdir/", FileErrorCause::FileNotFound, {}, 0},
        {"/proc/self/fd/0", FileErrorCause::BadPath, {}, 0},
    };
    const Listing before = List(priv);
    for (const auto& [target, cause, written, mode] : std::span(cases).last(root ? 9 : 5)) {
        SCOPED_TRACE(target);
        FileError error;
        const Listing was = List(priv);
        auto file = ReplacingFile::Create(target, 0600, error);
        if (cause != FileErrorCause::Generic) {
            EXPECT_FALSE(file);
            EXPECT_EQ(error.cause, cause);
            EXPECT_TRUE(error.path == target || cause == FileErrorCause::BadPath) << error.path;
            EXPECT_EQ(List(priv), was);
            continue;
        }
        ASSERT_TRUE(file && file->Write(kNew.data(), kNew.size(), error) && file->Commit(error));
        EXPECT_EQ(fs::status(written).permissions(), fs::perms(mode));
        struct stat st {};
        EXPECT_TRUE(::stat(written.c_str(), &st) == 0 &&
                    st.st_uid == (written == priv / "theirs" ? nobody->pw_uid : ::geteuid()));
        EXPECT_EQ(List(written.parent_path())[written.filename()].first, Hash(kNew));
    }
    // The source beside the link's text stays; the links stay links.
    EXPECT_EQ(List(priv)["data.txt"], before.at("data.txt"));
    EXPECT_TRUE(fs::is_symlink(pub / "mine") && fs::is_symlink(priv / "real" / "sub" / "tgt"));
}

} // namespace
