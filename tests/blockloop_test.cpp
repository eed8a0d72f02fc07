// The block loop and its pipeline on their own, without a window or Qt: the
// pipeline writes exactly what the plain loop writes, where either stops on a
// failure or a cancel, and that the target then takes nothing.
#include "FakeFiles.h"
#include "blockloop/BlockCipher.h"
#include "blockloop/BlockPipeline.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <random>

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

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    std::generate(s.begin(), s.end(), std::mt19937(unsigned(size)));
    return s;
}

// What a run writes, or its outcome's kind when it does not succeed.
std::string Written(const std::string& source, CipherEntry entry, const PipelineShape* shape,
                    const BlockControl& control = {}) {
    FakeFiles files(source);
    BlockFiles open;
    OpenBlockFiles("in", "out", files, open);
    const BlockOutcome outcome = shape ? RunBlockPipeline(open, "pw", entry, control, *shape)
                                       : RunBlockCipher(open, "pw", entry, control);
    if (outcome.kind != BlockOutcome::Kind::Success)
        return "outcome " + std::to_string(int(outcome.kind));
    EXPECT_TRUE(files.committed);
    return files.written;
}

// With batches of 4 blocks: around block and batch boundaries, many batches and a few bytes
// more, through one worker and several, in both directions of the real DES.DLL.
TEST(BlockPipeline, WritesExactlyWhatThePlainLoopWrites) {
    const CModule encrypt("DES.DLL", "ENCRYPTFUNC", {QUILLMAR_OUTPUT_DIR});
    const CModule decrypt("DES.DLL", "DECRYPTFUNC", {QUILLMAR_OUTPUT_DIR});
    ASSERT_TRUE(encrypt.ThreadSafe());
    const PipelineShape shapes[] = {{.workers = 1, .batchBlocks = 4, .batchesPerWorker = 1},
                                    {.workers = 3, .batchBlocks = 4, .batchesPerWorker = 2},
                                    {.workers = DefaultWorkerCount()}};
    for (std::size_t size :
         {0, 1, 511, 512, 513, 2047, 2048, 2049, 2048 * 40 + 7, 128 * 512 * 3 + 1}) {
        const std::string source = Pattern(size);
        for (const CModule* module : {&encrypt, &decrypt}) {
            const std::string expected = Written(source, module->Entry(), nullptr);
            ASSERT_EQ(expected.size(), size / 512 * 512 + PaddedLength(size % 512));
            for (const PipelineShape& shape : shapes)
                EXPECT_TRUE(Written(source, module->Entry(), &shape) == expected)
                    << size << " bytes, " << shape.workers << " workers";
        }
    }
}

std::atomic<bool> g_stop{false};
void Identity(char*, const char*, std::int32_t) {}

// A read that fails, a write that fails and a cancel, each at the start, in the middle and
// at the end: every thread stops, the target takes nothing, and the failure is the first.
TEST(BlockPipeline, AFailureOrACancelAtAnyBatchStopsEveryThreadAndCommitsNothing) {
    const PipelineShape shape{.workers = 2, .batchBlocks = 4, .batchesPerWorker = 2};
    const std::uint64_t batch = 4 * 512, total = 12 * batch + 100;
    for (std::uint64_t at : {std::uint64_t{0}, 5 * batch, 12 * batch}) {
        for (const std::string what : {"read", "write", "cancel"}) {
            SCOPED_TRACE(std::to_string(at) + " " + what);
            FakeFiles files(std::string(total, 'x'));
            files.readFailsAt = what == "read" ? std::optional(at) : std::nullopt;
            files.writeFailsAt = what == "write" ? std::optional(at) : std::nullopt;
            g_stop = false;
            files.beforeRead = [&](std::uint64_t offset) {
                if (what == "cancel" && offset >= at)
                    g_stop = true;
            };
            BlockFiles open;
            OpenBlockFiles("in", "out", files, open);
            std::atomic<std::uint64_t> done{0};
            const BlockOutcome outcome =
                RunBlockPipeline(open, "pw", Identity, {&g_stop, &done}, shape);
            EXPECT_FALSE(files.committed);
            EXPECT_LE(files.written.size(), at + batch);
            EXPECT_LE(done.load(), at);
            if (what == "cancel") {
                EXPECT_EQ(outcome.kind, BlockOutcome::Kind::Cancelled);
                continue;
            }
            EXPECT_EQ(outcome.kind, BlockOutcome::Kind::FileError);
            EXPECT_EQ(outcome.error.cause,
                      what == "read" ? FileErrorCause::HardIO : FileErrorCause::DiskFull);
        }
    }
}

// A module that does not declare THREADSAFE, or declares 0, is never called concurrently;
// one that declares it may be, and gives the same bytes.
TEST(BlockPipeline, OnlyModulesThatSaySoAreCalledConcurrently) {
    const std::filesystem::path fakes = QUILLMAR_FAKE_MODULE_DIR;
    EXPECT_FALSE(CModule("DES.DLL", "ENCRYPTFUNC", {fakes / "recording"}).ThreadSafe());
    const std::string source = Pattern(512 * 300 + 5);
    std::string written[2];
    for (int parallel : {0, 1}) {
        const auto dir = fakes / (parallel ? "parallel" : "serial");
        const CModule module("DES.DLL", "ENCRYPTFUNC", {dir});
        ASSERT_EQ(module.ThreadSafe(), bool(parallel));
        void* handle = dlopen((dir / "DES.DLL").c_str(), RTLD_NOW | RTLD_NOLOAD);
        const auto mostAtOnce = reinterpret_cast<int (*)()>(dlsym(handle, "test_most_at_once"));
        mostAtOnce();
        FakeFiles files(source);
        BlockFiles open;
        OpenBlockFiles("in", "out", files, open);
        ASSERT_EQ(RunFileCipher(open, "pw", module, {}).kind, BlockOutcome::Kind::Success);
        written[parallel] = files.written;
        if (!parallel) {
            EXPECT_EQ(mostAtOnce(), 1);
        }
        dlclose(handle);
    }
    EXPECT_TRUE(written[0] == written[1]);
    EXPECT_EQ(written[0][0], char(source[0] + 1));
}

} // namespace
