#pragma once
// Opening a source and a target for the block loop, as the file panel and the
// command line do it, with the one refusal of a file named as both.

#include "blockloop/BlockCipher.h"

#include <string>
#include <string_view>

namespace quillmar {

// How "-" is taken: the window has no standard streams, so there it is a file
// name; the command line reads standard input or writes standard output for
// it, unless that stream was closed when the program started.
struct StandardStreams {
    bool dashNamesStream = false;
    bool inputClosed = false;
    bool outputClosed = false;
};

inline constexpr const char* kStandardInput = "standard input";
inline constexpr const char* kStandardOutput = "standard output";

// Opens the source, then the target. One file named as both, however
// spelled, linked or redirected, is refused as a target. Empty paths and
// paths too long to open fail. Success, or which of the two could not be
// opened with the cause.
BlockOutcome OpenBlockFiles(std::string_view sourcePath, std::string_view targetPath,
                            FileLayer& layer, BlockFiles& files,
                            const StandardStreams& streams = {});

// Opens both files, then runs the plain loop.
BlockOutcome RunBlockCipher(std::string_view sourcePath, std::string_view targetPath,
                            const char* password, BlockEntries entries, const BlockControl& control,
                            FileLayer& layer);

// The target offered for a source: the source with ".qx" added, or taken off when its name
// ends in ".qx" in any case ("a.QX" gives "a"), as the desktop's file type matches it; a name
// that would be left empty, "." or ".." gets ".qx" added instead.
std::string ProposedTarget(std::string_view source);

} // namespace quillmar
