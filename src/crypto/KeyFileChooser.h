#pragma once
// The chooser through which key files (and the file panel's target) are
// picked: a name that does not exist yet is accepted if its folder exists.

#include <string>

namespace quillmar {

class CDialog;

// Offers rememberedPath as the initial name. True when a file was chosen:
// rememberedPath then holds its full path. A cancel, or a path too long to
// be opened, empties rememberedPath and returns false.
bool ChooseKeyFile(const CDialog& panel, std::string& rememberedPath);
// The same, for a file that must already exist (the file panel's source).
bool ChooseExistingFile(const CDialog& panel, std::string& rememberedPath);

} // namespace quillmar
