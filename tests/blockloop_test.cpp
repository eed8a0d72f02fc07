// The block loop and its pipeline on their own, without a window or Qt: the
// pipeline writes exactly what the plain loop writes, where either stops on a
// failure or a cancel, and that the target then takes nothing.
#include "FakeFiles.h"
#include "blockloop/BlockPipeline.h"
#include "operations/FilePair.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <random>
#include <unistd.h>

using namespace quillmar;
using namespace quillmar::test;
using Kind = BlockOutcome::Kind;

namespace {

std::atomic<int> g_calls = 0; // the pipeline calls from several threads
std::atomic<bool> g_cancel{false};

void CountingEntry(char*, const char*, std::int32_t) {
    ++g_calls;
}

// Opens "in" and "out" and runs the plain loop, the pipeline given a shape, or what RunFileCipher
// chooses given a module.
BlockOutcome RunOn(FakeFiles& files, BlockEntries entry, const BlockControl& control,
                   const PipelineShape* shape, const CModule* module = nullptr) {
    if (!shape && !module) // through the call that opens the files itself
        return RunBlockCipher("in", "out", "pw", entry, control, files);
    BlockFiles open;
    OpenBlockFiles("in", "out", files, open);
    return module ? RunFileCipher(open, "pw", *module, control)
                  : RunBlockPipeline(open, "pw", entry, control, *shape);
}

// A read or a write that fails, or a cancel, at the start, in the middle and at the end (for the
// plain loop at and around blocks, at 2999 after the last one; for the pipeline at batches): the
// run stops there, the failure is the first, and the target takes nothing.
TEST(BlockLoop, AFailureOrACancelAnywhereStopsTheRunAndCommitsNothing) {
    const PipelineShape pipeline{.workers = 2, .batchBlocks = 4, .batchesPerWorker = 2};
    const std::uint64_t batch = 4 * 512;
    for (const PipelineShape* shape : {static_cast<const PipelineShape*>(nullptr), &pipeline}) {
        for (std::uint64_t at : shape ? std::vector<std::uint64_t>{0, 5 * batch, 12 * batch}
                                      : std::vector<std::uint64_t>{0, 100, 512, 1536, 2999}) {
            for (const std::string what : {"read", "write", "cancel"}) {
                SCOPED_TRACE(std::to_string(at) + " " + what + (shape ? " pipeline" : ""));
                const bool read = what == "read", cancel = what == "cancel";
                FakeFiles files(std::string(shape ? 12 * batch + 100 : 3000, 'x'));
                files.readFailsAt = read ? std::optional(at) : std::nullopt;
                files.writeFailsAt = what == "write" ? std::optional(at) : std::nullopt;
                // The cancel comes with the first read from at on; the plain loop finishes
                // that block, so it calls the module once for every read it started.
                files.beforeRead = [&](std::uint64_t offset) {
                    g_cancel = g_cancel || (cancel && offset >= at);
                };
                const int blocks =
                    cancel ? std::min(int(at + 511) / 512 + 1, 6) : int(at / 512) + !read;
                g_calls = 0, g_cancel = false;
                std::atomic<std::uint64_t> done{0};
                const BlockOutcome outcome = RunOn(files, CountingEntry, {&g_cancel, &done}, shape);
                EXPECT_FALSE(files.committed);
                EXPECT_LE(files.written.size(), at + batch);
                EXPECT_TRUE(shape || g_calls == blocks) << g_calls;
                EXPECT_TRUE(cancel && !shape ? done == std::min(blocks * 512u, 3000u) : done <= at)
                    << done;
                EXPECT_EQ(outcome.kind, cancel ? Kind::Cancelled : Kind::FileError);
                if (!cancel) { // a failure names its cause and the file in full
                    EXPECT_EQ(std::pair(outcome.error.cause, outcome.error.path),
                              std::pair(read ? FileErrorCause::HardIO : FileErrorCause::DiskFull,
                                        std::filesystem::absolute(read ? "in" : "out").string()));
                }
            }
        }
    }
    FakeFiles files(std::string(3000, 'x'));
    files.commitFails = true;
    EXPECT_EQ(RunOn(files, CountingEntry, {}, nullptr).kind, Kind::FileError);
    // A failed write ends the run even while the source, a pipe, sends nothing more.
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    ASSERT_EQ(::write(pipe[1], std::string(batch + 512, 'x').data(), batch + 512), batch + 512);
    files.writeFailsAt = 0;
    FileError error;
    BlockFiles open{ReaderOnDescriptor(pipe[0], "pipe"),
                    files.OpenReplace("out", Readers::AsBefore, error)};
    EXPECT_EQ(RunBlockPipeline(open, "pw", CountingEntry, {}, pipeline).kind, Kind::FileError);
    ::close(pipe[0]);
    ::close(pipe[1]);
}

// What a successful run writes; it commits, and every byte counts as done.
std::string Written(const std::string& source, BlockEntries entry, const PipelineShape* shape,
                    const CModule* module = nullptr) {
    FakeFiles files(source);
    std::atomic<std::uint64_t> done{0};
    const BlockOutcome outcome = RunOn(files, entry, {nullptr, &done}, shape, module);
    EXPECT_EQ(std::tuple(outcome.kind, files.committed, done.load()),
              std::tuple(Kind::Success, true, source.size()));
    return files.written;
}

// With batches of 4 blocks: around block and batch boundaries, many batches and a few bytes
// more, through one worker and several, in both directions of the real DES.DLL and of a module
// with batch entries, given the blocks one by one or in batches.
TEST(BlockPipeline, WritesExactlyWhatThePlainLoopWrites) {
    const CModule encrypt("DES.DLL", "ENCRYPTFUNC", {QUILLMAR_OUTPUT_DIR});
    const CModule decrypt("DES.DLL", "DECRYPTFUNC", {QUILLMAR_OUTPUT_DIR});
    const CModule batches("DES.DLL", "DECRYPTFUNC", {QUILLMAR_FAKE_MODULE_DIR "/parallel_batch"});
    const PipelineShape shapes[] = {{.workers = 1, .batchBlocks = 4, .batchesPerWorker = 1},
                                    {.workers = 3, .batchBlocks = 4, .batchesPerWorker = 2},
                                    {.workers = DefaultWorkerCount()}};
    for (std::size_t size :
         {0, 1, 511, 512, 513, 2047, 2048, 2049, 2048 * 40 + 7, 128 * 512 * 3 + 1}) {
        std::string source(size, '\0'); // noise: blocks out of order would show
        std::generate(source.begin(), source.end(), std::mt19937(unsigned(size)));
        for (const CModule* module : {&encrypt, &decrypt, &batches}) {
            const std::string expected = Written(source, module->Entry(), nullptr);
            ASSERT_EQ(expected.size(), size / 512 * 512 + PaddedLength(size % 512));
            const BlockEntries entries{module->Entry(), module->BatchEntry()};
            EXPECT_TRUE(Written(source, entries, nullptr) == expected) << size << " bytes";
            for (const PipelineShape& shape : shapes)
                EXPECT_TRUE(Written(source, entries, &shape) == expected)
                    << size << " bytes, " << shape.workers << " workers";
        }
    }
    // With no thread to be had (no stack fits), the plain loop does the work.
    pthread_attr_t saved, huge;
    ASSERT_EQ(pthread_getattr_default_np(&saved), 0);
    pthread_attr_init(&huge);
    pthread_attr_setstacksize(&huge, std::size_t{1} << 46);
    pthread_setattr_default_np(&huge);
    const std::string source(5000, 'q');
    const std::string written = Written(source, encrypt.Entry(), &shapes[1]);
    pthread_setattr_default_np(&saved);
    EXPECT_TRUE(written == Written(source, encrypt.Entry(), nullptr));
}

// A module that does not declare THREADSAFE, or declares 0, is never called concurrently;
// one that declares it may be, and gives the same bytes. A module with batch entries gets whole
// blocks in each call, only the last one short, in both directions; one without, a call a block.
TEST(BlockPipeline, OnlyModulesThatSaySoAreCalledConcurrently) {
    const std::filesystem::path fakes = QUILLMAR_FAKE_MODULE_DIR;
    EXPECT_FALSE(CModule("DES.DLL", "ENCRYPTFUNC", {fakes / "recording"}).ThreadSafe());
    // Over two default batches, so that a pipeline would overlap calls. Each byte goes one up
    // (the first of each block two), the padding too.
    const std::string source = std::string(512 * 1100 + 5, 'x') + std::string(3, '\0');
    std::string encrypted = source;
    for (std::size_t i = 0; i < source.size(); ++i)
        encrypted[i] = char(source[i] + 1 + (i % 512 == 0));
    std::vector<int> perBlock(1100, -512), batches{38920, 262144, 262144}; // 76 blocks + 8 bytes
    perBlock.push_back(-8);
    for (const std::string kind : {"serial", "parallel", "serial_batch", "parallel_batch"}) {
        for (const bool encrypt : {true, false}) {
            const CModule module("DES.DLL", encrypt ? "ENCRYPTFUNC" : "DECRYPTFUNC",
                                 {fakes / kind});
            const auto exported = [&](const char* name) { // module keeps the library loaded
                return reinterpret_cast<void (*)()>(
                    CModule("DES.DLL", name, {fakes / kind}).Entry());
            };
            const auto mostAtOnce = reinterpret_cast<int (*)()>(exported("test_most_at_once"));
            auto& lengths = *reinterpret_cast<std::vector<int>* (*)()>(exported("test_lengths"))();
            ASSERT_EQ(module.ThreadSafe(), kind.starts_with("parallel"));
            mostAtOnce(), lengths.clear(); // starts counting afresh
            EXPECT_TRUE(Written(encrypt ? source.substr(0, 512 * 1100 + 5) : encrypted, nullptr,
                                nullptr, &module) == (encrypt ? encrypted : source));
            EXPECT_EQ(module.ThreadSafe() ? 1 : mostAtOnce(), 1);
            std::sort(lengths.begin(), lengths.end());
            EXPECT_EQ(lengths, kind.ends_with("batch") ? batches : perBlock) << kind;
        }
    }
}

} // namespace
