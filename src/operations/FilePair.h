#pragma once
// Opening a source and a target for the block loop, as the file panel and the
// command line do it, with the one refusal of a file named as both.

#include "blockloop/BlockCipher.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillmar {

// How "-" is taken: the window has no standard streams, so there it is a file
// name; the command line reads standard input or writes standard output.
enum class Dash { FileName, StandardStream };

inline constexpr const char* kStandardInput = "standard input";
inline constexpr const char* kStandardOutput = "standard output";

// A file to read, by name. "-" (as dash says), /dev/stdin, /dev/fd/N and
// the like are the descriptor itself, read where it stands, and only one the
// caller passed: a closed one would read as empty, one of the program's own
// as its own files (Closed in error). The rest as the layer opens it.
std::unique_ptr<ByteReader> OpenReaderByName(std::string_view path, FileLayer& layer,
                                             Reading reading, Dash dash, FileError& error);

// Opens the source, then the target. One file named as both, however
// spelled, linked or redirected, is refused as a target. Empty paths and
// paths too long to open fail. A target named as a descriptor is written in
// place, as "-" is. Success, or which of the two could not be opened with
// the cause.
BlockOutcome OpenBlockFiles(std::string_view sourcePath, std::string_view targetPath,
                            FileLayer& layer, BlockFiles& files, Dash dash = Dash::FileName);

// What a file operation holds before its first block: the files open, then
// the file module of its direction bound, in this order in both front ends,
// so that the same mistakes meet the same message first.
struct FileRunStart {
    BlockOutcome opened;                  // which file could not be opened, if one
    std::unique_ptr<CModule> module;      // tried only once both files are open
    const char* bindingFailure = nullptr; // the message when the module is not bound
};
FileRunStart StartFileRun(std::string_view sourcePath, std::string_view targetPath, bool encrypt,
                          const std::vector<std::filesystem::path>& moduleDirs, FileLayer& layer,
                          BlockFiles& files, Dash dash = Dash::FileName);

// Opens both files, then runs the plain loop.
BlockOutcome RunBlockCipher(std::string_view sourcePath, std::string_view targetPath,
                            const char* password, BlockEntries entries, const BlockControl& control,
                            FileLayer& layer);

// The target offered for a source: the source with ".qx" added, or taken off when its name
// ends in ".qx" in any case ("a.QX" gives "a"), as the desktop's file type matches it; a name
// that would be left empty, "." or ".." gets ".qx" added instead.
std::string ProposedTarget(std::string_view source);

} // namespace quillmar
