#include "blockloop/BlockCipher.h"

#include "crypto/Wipe.h"
#include "platform/os/FileError.h"
#include "platform/os/FileIdentity.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace quillmar {

BlockOutcome OpenBlockFiles(std::string_view sourcePath, std::string_view targetPath,
                            FileLayer& layer, BlockFiles& files) {
    using Kind = BlockOutcome::Kind;
    files = {};
    // An empty path, or one too long to open, names no file.
    FileError error{FileErrorCause::BadPath, std::string(sourcePath)};
    const std::string source = MakeAbsolutePath(sourcePath);
    if (source.empty() || !(files.source = layer.OpenRead(source, Pipes::Refuse, error)))
        return {Kind::SourceUnopenable, error};
    const std::string target = MakeAbsolutePath(targetPath);
    const auto sourceId = files.source->Identity();
    const auto targetId = IdentifyFile(target);
    error = {FileErrorCause::BadPath, std::string(targetPath)};
    if (sourceId && targetId && *sourceId == *targetId)
        error.cause = FileErrorCause::SharingViolation; // replacing it would destroy the source
    else if (!target.empty())
        files.target = layer.OpenReplace(target, Readers::AsBefore, error);
    if (!files.target) {
        files = {};
        return {Kind::TargetUnopenable, error};
    }
    return {};
}

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

BlockOutcome RunBlockCipher(std::string_view sourcePath, std::string_view targetPath,
                            const char* password, BlockEntries entries, const BlockControl& control,
                            FileLayer& layer) {
    BlockFiles files;
    const BlockOutcome opened = OpenBlockFiles(sourcePath, targetPath, layer, files);
    if (opened.kind != BlockOutcome::Kind::Success)
        return opened;
    return RunBlockCipher(files, password, entries, control);
}

} // namespace quillmar
