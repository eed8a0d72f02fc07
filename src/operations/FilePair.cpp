#include "operations/FilePair.h"

#include "operations/Binding.h"
#include "platform/os/Descriptors.h"
#include "platform/os/Paths.h"

#include <algorithm>
#include <unistd.h>

namespace quillmar {

namespace {

// The descriptor that path names ("-" as dash says), with the name to show
// for it; nothing for a file name.
std::optional<int> NamedDescriptor(std::string_view path, const std::string& absolute, Dash dash,
                                   bool output, std::string& shown) {
    if (dash == Dash::StandardStream && path == "-") {
        shown = output ? kStandardOutput : kStandardInput;
        return output ? STDOUT_FILENO : STDIN_FILENO;
    }
    shown = absolute;
    return DescriptorSpelledBy(absolute);
}

// A descriptor the caller did not pass is none of theirs to name.
bool Passed(int fd, const std::string& shown, FileError& error) {
    error = {FileErrorCause::Closed, shown};
    return WasInherited(fd);
}

std::unique_ptr<ByteWriter> OpenTarget(std::string_view path, FileLayer& layer, Dash dash,
                                       FileError& error) {
    const std::string absolute = MakeAbsolutePath(path);
    std::string shown;
    if (const auto fd = NamedDescriptor(path, absolute, dash, true, shown))
        return Passed(*fd, shown, error) ? WriterOnDescriptor(*fd, shown) : nullptr;
    error = {FileErrorCause::BadPath, std::string(path)};
    return absolute.empty() ? nullptr : layer.OpenReplace(absolute, Readers::AsBefore, error);
}

} // namespace

std::unique_ptr<ByteReader> OpenReaderByName(std::string_view path, FileLayer& layer,
                                             Reading reading, Dash dash, FileError& error) {
    const std::string absolute = MakeAbsolutePath(path);
    std::string shown;
    if (const auto fd = NamedDescriptor(path, absolute, dash, false, shown))
        return Passed(*fd, shown, error) ? ReaderOnDescriptor(*fd, shown) : nullptr;
    // An empty path, or one too long to open, names no file.
    error = {FileErrorCause::BadPath, std::string(path)};
    return absolute.empty() ? nullptr : layer.OpenRead(absolute, reading, error);
}

BlockOutcome OpenBlockFiles(std::string_view sourcePath, std::string_view targetPath,
                            FileLayer& layer, BlockFiles& files, Dash dash) {
    using Kind = BlockOutcome::Kind;
    files = {};
    FileError error;
    if (!(files.source = OpenReaderByName(sourcePath, layer, Reading::Data, dash, error)))
        return {Kind::SourceUnopenable, error};
    files.target = OpenTarget(targetPath, layer, dash, error);
    // Asked of the file that would really be replaced, however it was named:
    // replacing it would destroy the source, and "encrypt-file f - >> f"
    // would read its own output for ever.
    const auto sourceId = files.source->Identity();
    if (files.target && sourceId && files.target->Replaces() == sourceId) {
        error = {FileErrorCause::SharingViolation, targetPath == "-" && dash == Dash::StandardStream
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

FileRunStart StartFileRun(std::string_view sourcePath, std::string_view targetPath, bool encrypt,
                          const std::vector<std::filesystem::path>& moduleDirs, FileLayer& layer,
                          BlockFiles& files, Dash dash) {
    FileRunStart start;
    start.opened = OpenBlockFiles(sourcePath, targetPath, layer, files, dash);
    if (start.opened.kind != BlockOutcome::Kind::Success)
        return start;
    const CipherChoice choice = FileModuleFor(encrypt);
    start.module = std::make_unique<CModule>(choice.module, choice.entry, moduleDirs);
    start.bindingFailure = BindingFailure(*start.module, choice.missingMessage);
    if (start.bindingFailure)
        files = {}; // the target was never touched
    return start;
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
