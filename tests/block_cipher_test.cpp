// The block loop on its own: what each module call sees, failures at any
// byte, cancelling, and what a replaced file keeps.
#include "TestSupport.h"
#include "file/BlockCipher.h"
#include "file_fakes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quillmar;
using namespace quillmar::test;
namespace fs = std::filesystem;

namespace {

struct Call {
    std::string data, key;
};
std::vector<Call> g_calls;
std::function<void()> g_afterCall;

// Records the call and flips every byte, so the output shows what was written.
void XorEntry(char* data, const char* key, std::int32_t length) {
    g_calls.push_back({std::string(data, std::size_t(length)), key});
    for (std::int32_t i = 0; i < length; ++i)
        data[i] = char(data[i] ^ 0x5a);
    if (g_afterCall)
        g_afterCall();
}

std::string Text(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = char(i % 251 + 1); // no zero bytes: the padding stands out
    return s;
}

class BlockLoop : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        g_afterCall = nullptr;
    }
    BlockOutcome Run(const BlockControl& control = {}) {
        files.written.clear();
        files.committed = false;
        return RunBlockCipher("in", "out", password.c_str(), XorEntry, control, files);
    }
    FakeFiles files;
    std::string password = std::string(1000, 'k') + " Grüße";
};

TEST_F(BlockLoop, EachBlockIsPaddedWithZerosAndWrittenAsTheModuleLeftIt) {
    for (std::size_t size : {0, 1, 8, 13, 505, 512, 513, 1024, 1037}) {
        SCOPED_TRACE(size);
        g_calls.clear();
        files.source = Text(size);
        ASSERT_EQ(Run().kind, BlockOutcome::Kind::Success);
        std::string padded = files.source;
        padded.resize(PaddedLength(size), '\0');
        std::string flipped = padded;
        for (char& c : flipped)
            c = char(c ^ 0x5a);
        EXPECT_EQ(files.written, flipped);
        EXPECT_TRUE(files.committed);
        ASSERT_EQ(g_calls.size(), (size + 511) / 512);
        for (std::size_t k = 0; k < g_calls.size(); ++k) {
            EXPECT_EQ(g_calls[k].data, padded.substr(k * 512, 512));
            EXPECT_EQ(g_calls[k].key, password); // whole, with every block
        }
    }
}

TEST_F(BlockLoop, ReadOrWriteErrorAnywhereEndsTheLoopAndNothingIsCommitted) {
    files.source = Text(3000);
    for (std::uint64_t at : {0, 100, 512, 1536, 2999}) {
        SCOPED_TRACE(at);
        g_calls.clear();
        files.readFailsAt = at;
        auto outcome = Run();
        EXPECT_EQ(outcome.kind, BlockOutcome::Kind::FileError);
        EXPECT_EQ(outcome.error.cause, FileErrorCause::HardIO);
        EXPECT_EQ(outcome.error.path, fs::absolute("in").string());
        EXPECT_EQ(g_calls.size(), at / 512);
        EXPECT_FALSE(files.committed);

        files.readFailsAt.reset();
        files.writeFailsAt = at;
        outcome = Run();
        EXPECT_EQ(outcome.kind, BlockOutcome::Kind::FileError);
        EXPECT_EQ(outcome.error.cause, FileErrorCause::DiskFull);
        EXPECT_EQ(outcome.error.path, fs::absolute("out").string());
        EXPECT_FALSE(files.committed);
        files.writeFailsAt.reset();
    }
    files.commitFails = true;
    EXPECT_EQ(Run().kind, BlockOutcome::Kind::FileError);
    EXPECT_FALSE(files.committed);
}

TEST_F(BlockLoop, CancelStopsAfterTheCurrentBlockAndNothingIsCommitted) {
    std::atomic<bool> cancel{false};
    std::atomic<std::uint64_t> done{0};
    files.source = Text(5000);
    g_afterCall = [&] { cancel = g_calls.size() == 3; };
    EXPECT_EQ(Run({&cancel, &done}).kind, BlockOutcome::Kind::Cancelled);
    EXPECT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(done.load(), 3u * 512);
    EXPECT_FALSE(files.committed);
    // After the last block the target still takes nothing.
    g_calls.clear();
    files.source = Text(700);
    g_afterCall = [&] { cancel = g_calls.size() == 2; };
    EXPECT_EQ(Run({&cancel, &done}).kind, BlockOutcome::Kind::Cancelled);
    EXPECT_FALSE(files.committed);
    g_afterCall = nullptr;
    cancel = false;
    EXPECT_EQ(Run({&cancel, &done}).kind, BlockOutcome::Kind::Success);
    EXPECT_EQ(done.load(), 700u);
}

TEST(BlockFilesOnDisk, ReplacedTargetKeepsItsModeALinkStaysAndNewFilesFollowTheUmask) {
    TempDir dir;
    WriteFile(dir / "in", "0123456789");
    WriteFile(dir / "real", "old");
    fs::permissions(dir / "real", fs::perms(0640));
    fs::create_symlink("real", dir / "link");
    const auto run = [&](const char* target) {
        return RunBlockCipher((dir / "in").string(), (dir / target).string(), "pw", XorEntry, {},
                              PosixFileLayer())
            .kind;
    };
    ASSERT_EQ(run("link"), BlockOutcome::Kind::Success);
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(fs::file_size(dir / "real"), 16u);
    EXPECT_EQ(fs::status(dir / "real").permissions(), fs::perms(0640));
    const mode_t old = ::umask(027);
    ASSERT_EQ(run("fresh"), BlockOutcome::Kind::Success);
    ::umask(old);
    EXPECT_EQ(fs::status(dir / "fresh").permissions(), fs::perms(0640));
}

} // namespace
