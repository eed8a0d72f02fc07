#include "app/AboutBox.h"

#include "res/Templates.h"

namespace quillmar {

namespace {
// Button clicks reach a dialog only through its table: OK needs its row.
const CommandEntry<CAboutBox> kCommands[] = {
    {IDOK, &CAboutBox::OnOK},
};
} // namespace

CAboutBox::CAboutBox() : CDialog(kAboutTemplate) {
    SetCommandTable(this, kCommands);
}

} // namespace quillmar
