#include "blockloop/BlockCipher.h"

#include "platform/os/FileError.h"
#include "platform/os/Wipe.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace quillmar {

void TransformBlocks(const BlockEntries& entries, char* data, const char* password,
                     std::size_t length) {
    if (entries.batch) {
        entries.batch(data, password, std::int32_t(length));
        return;
    }
    for (std::size_t at = 0; at < length; at += kBlockSize)
        entries.block(data + at, password, std::int32_t(std::min(kBlockSize, length - at)));
}

BlockOutcome RunBlockCipher(BlockFiles& files, const char* password, BlockEntries entries,
                            const BlockControl& control) {
    // A module without batches reads, and is called, one block at a time, as
    // it always was.
    const std::size_t size = entries.batch ? kBatchBlocks * kBlockSize : kBlockSize;
    const auto buffer = std::make_unique<char[]>(size);
    struct Wiper {
        char* data;
        std::size_t size;
        ~Wiper() { SecureWipe(data, size); }
    } wiper{buffer.get(), size};
    const auto cancelled = [&] {
        return control.cancel && control.cancel->load(std::memory_order_relaxed);
    };
    files.source->CancelWith(control.cancel);
    BlockOutcome outcome;
    std::uint64_t done = 0;
    for (;;) {
        if (cancelled())
            return {BlockOutcome::Kind::Cancelled, {}};
        const auto n = files.source->Read(buffer.get(), size, outcome.error);
        if (!n && cancelled())
            return {BlockOutcome::Kind::Cancelled, {}}; // given up while waiting on a device
        if (!n) {
            outcome.kind = BlockOutcome::Kind::FileError;
            return outcome;
        }
        if (*n == 0)
            break;
        // Only the end of the source reads short: its last block is padded.
        const std::size_t length = PaddedLength(*n);
        std::memset(buffer.get() + *n, 0, length - *n);
        TransformBlocks(entries, buffer.get(), password, length);
        if (!files.target->Write(buffer.get(), length, outcome.error)) {
            outcome.kind = BlockOutcome::Kind::FileError;
            return outcome;
        }
        done += *n;
        if (control.done)
            control.done->store(done, std::memory_order_relaxed);
    }
    if (cancelled())
        return {BlockOutcome::Kind::Cancelled, {}};
    if (!files.target->Commit(outcome.error))
        outcome.kind = BlockOutcome::Kind::FileError;
    return outcome;
}

} // namespace quillmar
