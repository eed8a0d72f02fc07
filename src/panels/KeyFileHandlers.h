#pragma once
// Save Key and Load Key, shared by both panels.

#include <string>

namespace quillmar {

class CDialog;

void SaveKeyFromField(CDialog& panel, int passwordFieldId, std::string& rememberedPath);
void LoadKeyIntoField(CDialog& panel, int passwordFieldId, std::string& rememberedPath);

} // namespace quillmar
