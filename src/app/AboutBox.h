#pragma once
// The About box: icon, product name and version, contact details.

#include "platform/ui/Dialog.h"

namespace quillmar {

class CAboutBox : public CDialog {
public:
    CAboutBox();

    // The OK button's handler, reached through the command table.
    using CDialog::OnOK;
};

} // namespace quillmar
