#include "KeyFileChooser.h"

#include "platform/FileChooser.h"
#include "platform/FileError.h"
#include "res/Strings.h"

namespace quillmar {

bool ChooseKeyFile(const CDialog& panel, std::string& rememberedPath) {
    // A remembered path never holds more than the platform can open.
    std::string initial = rememberedPath.size() < kMaxPath ? rememberedPath : std::string();
    const auto chosen = AfxChooseFile({&panel, str::kChooseFileTitle, std::move(initial), false});
    rememberedPath = chosen ? MakeAbsolutePath(*chosen) : std::string();
    return !rememberedPath.empty();
}

} // namespace quillmar
