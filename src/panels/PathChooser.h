#pragma once
// Choosing a path for a panel: key files to save or load and the file
// panel's source and target. A name that does not exist yet is accepted if
// its folder exists.

#include <string>

namespace quillmar {

class CDialog;

// Offers rememberedPath as the initial name. True when a file was chosen:
// rememberedPath then holds its full path. A cancel, or a path too long to
// be opened, empties rememberedPath and returns false.
bool ChoosePath(const CDialog& panel, std::string& rememberedPath);
// The same, for a file that must already exist (the file panel's source).
bool ChooseExistingPath(const CDialog& panel, std::string& rememberedPath);

} // namespace quillmar
