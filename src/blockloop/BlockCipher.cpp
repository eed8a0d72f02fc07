#include "blockloop/BlockCipher.h"

#include "platform/os/FileError.h"
#include "platform/os/Wipe.h"

#include <cstring>

namespace quillmar {

BlockOutcome RunBlockCipher(BlockFiles& files, const char* password, CipherEntry entry,
                            const BlockControl& control) {
    alignas(8) char block[kBlockSize] = {};
    struct Wiper {
        char* data;
        ~Wiper() { SecureWipe(data, kBlockSize); }
    } wiper{block};
    const auto cancelled = [&] {
        return control.cancel && control.cancel->load(std::memory_order_relaxed);
    };
    files.source->CancelWith(control.cancel);
    BlockOutcome outcome;
    std::uint64_t done = 0;
    for (;;) {
        if (cancelled())
            return {BlockOutcome::Kind::Cancelled, {}};
        const auto n = files.source->Read(block, kBlockSize, outcome.error);
        if (!n && cancelled())
            return {BlockOutcome::Kind::Cancelled, {}}; // given up while waiting on a device
        if (!n) {
            outcome.kind = BlockOutcome::Kind::FileError;
            return outcome;
        }
        if (*n == 0)
            break;
        // The bytes between n and the padded length are zero: the buffer was
        // cleared after the previous block.
        const std::size_t length = PaddedLength(*n);
        entry(block, password, std::int32_t(length));
        if (!files.target->Write(block, length, outcome.error)) {
            outcome.kind = BlockOutcome::Kind::FileError;
            return outcome;
        }
        std::memset(block, 0, sizeof block);
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
