#include "operations/FilePair.h"

#include <algorithm>
#include <unistd.h>

namespace quillmar {

namespace {

std::unique_ptr<ByteReader> OpenSource(std::string_view path, FileLayer& layer,
                                       const StandardStreams& streams, FileError& error) {
    if (streams.dashNamesStream && path == "-") {
        error = {FileErrorCause::InvalidFile, kStandardInput};
        return streams.inputClosed ? nullptr : ReaderOnDescriptor(STDIN_FILENO, kStandardInput);
    }
    // An empty path, or one too long to open, names no file.
    error = {FileErrorCause::BadPath, std::string(path)};
    const std::string absolute = MakeAbsolutePath(path);
    return absolute.empty() ? nullptr : layer.OpenRead(absolute, Pipes::Refuse, error);
}

std::unique_ptr<ByteWriter> OpenTarget(std::string_view path, FileLayer& layer,
                                       const StandardStreams& streams, FileError& error) {
    if (streams.dashNamesStream && path == "-") {
        error = {FileErrorCause::InvalidFile, kStandardOutput};
        return streams.outputClosed ? nullptr : WriterOnDescriptor(STDOUT_FILENO, kStandardOutput);
    }
    error = {FileErrorCause::BadPath, std::string(path)};
    const std::string absolute = MakeAbsolutePath(path);
    return absolute.empty() ? nullptr : layer.OpenReplace(absolute, Readers::AsBefore, error);
}

} // namespace

BlockOutcome OpenBlockFiles(std::string_view sourcePath, std::string_view targetPath,
                            FileLayer& layer, BlockFiles& files, const StandardStreams& streams) {
    using Kind = BlockOutcome::Kind;
    files = {};
    FileError error;
    if (!(files.source = OpenSource(sourcePath, layer, streams, error)))
        return {Kind::SourceUnopenable, error};
    files.target = OpenTarget(targetPath, layer, streams, error);
    // Asked of the file that would really be replaced, however it was named:
    // replacing it would destroy the source, and "encrypt-file f - >> f"
    // would read its own output for ever.
    const auto sourceId = files.source->Identity();
    if (files.target && sourceId && files.target->Replaces() == sourceId) {
        error = {FileErrorCause::SharingViolation, targetPath == "-" && streams.dashNamesStream
                                                       ? kStandardOutput
                                                       : MakeAbsolutePath(targetPath)};
        files.target.reset();
    }
    if (!files.target) {
        files = {};
        return {Kind::TargetUnopenable, error};
    }
    return {};
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

std::string ProposedTarget(std::string_view source) {
    constexpr std::string_view kSuffix = ".qx";
    const std::string_view name = source.substr(source.rfind('/') + 1);
    if (name.size() > kSuffix.size()) {
        const std::string_view stem = name.substr(0, name.size() - kSuffix.size());
        const std::string_view end = name.substr(stem.size());
        const bool suffix = std::equal(end.begin(), end.end(), kSuffix.begin(), [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
        });
        if (suffix && stem != "." && stem != "..")
            return std::string(source.substr(0, source.size() - kSuffix.size()));
    }
    return std::string(source) + std::string(kSuffix);
}

} // namespace quillmar
