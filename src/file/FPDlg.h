#pragma once
// The file panel: encrypts a source file into a target file.

#include "platform/Dialog.h"

#include <string>

namespace quillmar {

class CFPDlg : public CDialog {
public:
    CFPDlg();

    std::string& RememberedPath() { return m_rememberedPath; }

private:
    std::string m_rememberedPath;
};

} // namespace quillmar
