#include "panels/PathChooser.h"

#include "platform/os/FileError.h"
#include "platform/os/Paths.h"
#include "platform/ui/FileChooser.h"
#include "platform/ui/FileNames.h"
#include "res/Strings.h"

namespace quillmar {

namespace {
bool Choose(const CDialog& panel, std::string& rememberedPath, bool fileMustExist) {
    // A remembered path never holds more than the platform can open; a path
    // too long to open is no choice either.
    std::string initial = rememberedPath.size() < kMaxPath ? rememberedPath : std::string();
    const auto chosen =
        AfxChooseFile({&panel, str::kChooseFileTitle, std::move(initial), fileMustExist});
    // A name the fields cannot hold would come back as another file's.
    if (chosen && !HoldsAsText(*chosen)) {
        RefuseFileName(&panel, *chosen, str::kNameNotText);
        rememberedPath.clear();
        return false;
    }
    rememberedPath = chosen ? MakeAbsolutePath(*chosen) : std::string();
    return !rememberedPath.empty();
}
} // namespace

bool ChoosePath(const CDialog& panel, std::string& rememberedPath) {
    return Choose(panel, rememberedPath, false);
}

bool ChooseExistingPath(const CDialog& panel, std::string& rememberedPath) {
    return Choose(panel, rememberedPath, true);
}

} // namespace quillmar
