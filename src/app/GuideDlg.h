#pragma once
// The guide page: usage instructions, shown modally from Help and F1.

#include "platform/ui/Dialog.h"

namespace quillmar {

class CGuideDlg : public CDialog {
public:
    CGuideDlg();
};

} // namespace quillmar
