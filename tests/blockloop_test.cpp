// The block loop on its own, without a window or Qt: where it stops on a
// failure or a cancel, and that the target then takes nothing.
#include "FakeFiles.h"
#include "blockloop/BlockCipher.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace quillmar;
using namespace quillmar::test;

namespace {

int g_calls = 0, g_cancelAfter = 0; // no cancel at 0
std::atomic<bool> g_cancel{false};

void CountingEntry(char*, const char*, std::int32_t) {
    g_cancel = ++g_calls == g_cancelAfter;
}

TEST(BlockLoop, AnErrorOrACancelAtAnyByteEndsTheLoopAndNothingIsCommitted) {
    FakeFiles files(std::string(3000, 'x'));
    std::atomic<std::uint64_t> done{0};
    const auto run = [&](int cancelAfter) {
        g_calls = 0, g_cancelAfter = cancelAfter;
        files.written.clear();
        files.committed = g_cancel = false;
        return RunBlockCipher("in", "out", "pw", CountingEntry, {&g_cancel, &done}, files);
    };
    // At 2999 a cancel comes after the last block: the target still takes nothing.
    for (std::uint64_t at : {0, 100, 512, 1536, 2999}) {
        for (const std::string what : {"read", "write", "cancel"}) {
            SCOPED_TRACE(std::to_string(at) + " " + what);
            files.readFailsAt = what == "read" ? std::optional(at) : std::nullopt;
            files.writeFailsAt = what == "write" ? std::optional(at) : std::nullopt;
            const int blocks = int(at / 512) + (what == "read" ? 0 : 1);
            const BlockOutcome outcome = run(what == "cancel" ? blocks : 0);
            EXPECT_EQ(g_calls, blocks);
            EXPECT_FALSE(files.committed);
            if (what == "cancel") {
                EXPECT_EQ(outcome.kind, BlockOutcome::Kind::Cancelled);
                EXPECT_EQ(done.load(), std::min<std::uint64_t>(blocks * 512, 3000));
            } else {
                EXPECT_EQ(outcome.kind, BlockOutcome::Kind::FileError);
                EXPECT_EQ(
                    std::pair(outcome.error.cause, outcome.error.path),
                    std::pair(what == "read" ? FileErrorCause::HardIO : FileErrorCause::DiskFull,
                              std::filesystem::absolute(what == "read" ? "in" : "out").string()));
            }
        }
    }
    EXPECT_EQ(run(0).kind, BlockOutcome::Kind::Success);
    EXPECT_EQ(done.load(), 3000u);
    files.commitFails = true;
    EXPECT_EQ(run(0).kind, BlockOutcome::Kind::FileError);
}

} // namespace
