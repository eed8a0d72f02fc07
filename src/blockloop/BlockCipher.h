#pragma once
// Encrypts or decrypts a whole file through a cipher module: 512-byte
// blocks, each brought up to a multiple of 8 with zero bytes, one module call
// per block, or one per batch of blocks for a module that takes batches. No
// header: the file is just the blocks, and a decrypted file keeps the zero
// bytes that encryption added.

#include "platform/os/FileStreams.h"
#include "platform/os/Module.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace quillmar {

inline constexpr std::size_t kBlockSize = 512;
// Blocks per batch of the plain loop: 256 KiB, one read and one write each.
inline constexpr std::size_t kBatchBlocks = 512;
// A batch's length must fit the module's int32_t.
inline constexpr std::size_t kMaxBatchBlocks = 0x7fffffff / kBlockSize;

// n when it is a multiple of 8, else the next multiple of 8 above it.
constexpr std::size_t PaddedLength(std::size_t n) {
    return (n + 7) / 8 * 8;
}

// A module's entries for one direction: one block per call, and, when the
// module has it, consecutive blocks per call (only the last one short, and a
// multiple of 8) giving the same bytes. A bare per-block entry converts: a
// module without batches.
struct BlockEntries {
    BlockEntries(CipherEntry perBlock, CipherEntry batchEntry = nullptr)
        : block(perBlock), batch(batchEntry) {}
    CipherEntry block;
    CipherEntry batch;
};

// data[0 .. length-1] holds consecutive blocks, the last one padded: one
// batch call, or one call per block for a module without batches.
void TransformBlocks(const BlockEntries& entries, char* data, const char* password,
                     std::size_t length);

struct BlockFiles {
    std::unique_ptr<ByteReader> source;
    std::unique_ptr<ByteWriter> target; // the target changes only on commit
};

// Shared with another thread: a request to stop, and the source bytes done.
struct BlockControl {
    // Looked at before every block, and by a read that waits on a device.
    const std::atomic<bool>* cancel = nullptr;
    std::atomic<std::uint64_t>* done = nullptr;
};

struct BlockOutcome {
    enum class Kind { Success, Cancelled, SourceUnopenable, TargetUnopenable, FileError };
    Kind kind = Kind::Success;
    FileError error; // unless Success or Cancelled: the cause and the file's path
};

// The loop on open files. The target takes the new content only when every
// block is written and flushed; otherwise it stays exactly as it was.
BlockOutcome RunBlockCipher(BlockFiles& files, const char* password, BlockEntries entries,
                            const BlockControl& control = {});

} // namespace quillmar
