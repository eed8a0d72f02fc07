#include "cli/CommandParts.h"

#include "keys/RandomKey.h"
#include "operations/FilePair.h"
#include "operations/KeyFiles.h"
#include "platform/os/Wipe.h"
#include "res/Strings.h"

#include <unistd.h>

namespace quillmar::cli {

int RunRandomKey() {
    if (const int status = RefuseClosed(false))
        return status;
    auto made = MakeRandomKey();
    if (!made) {
        Say(str::kNoRandomKey);
        return kExitFailed;
    }
    WipedString key(std::move(*made));
    key.Value() += '\n';
    FileError error;
    if (!WriteStandardOutput(key.Value().data(), key.Value().size(), error))
        return ReportFileError(error);
    return kExitDone;
}

int RunSaveKey(const CommandLine& line, const Environment& env) {
    WipedString password{std::string()};
    if (const int status = GetPassword(line.password, true, env, password.Value()))
        return status;
    FileError error;
    switch (SaveKeyFile(line.keyFile, password.Value(), PosixFileLayer(), error)) {
    case KeySave::Ok:
        return kExitDone;
    case KeySave::TooLong:
        Say(str::kKeyTooLong);
        break;
    case KeySave::FileError:
        return ReportFileError(error);
    }
    return kExitFailed;
}

} // namespace quillmar::cli
