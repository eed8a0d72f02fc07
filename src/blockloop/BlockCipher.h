#pragma once
// Encrypts or decrypts a whole file through a cipher module: 512-byte
// blocks, each brought up to a multiple of 8 with zero bytes, one module call
// and one write per block. No header: the file is just the blocks, and a
// decrypted file keeps the zero bytes that encryption added.

#include "platform/os/FileStreams.h"
#include "platform/os/Module.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace quillmar {

inline constexpr std::size_t kBlockSize = 512;

// n when it is a multiple of 8, else the next multiple of 8 above it.
constexpr std::size_t PaddedLength(std::size_t n) {
    return (n + 7) / 8 * 8;
}

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
BlockOutcome RunBlockCipher(BlockFiles& files, const char* password, CipherEntry entry,
                            const BlockControl& control = {});

} // namespace quillmar
