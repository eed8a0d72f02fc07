#include "app/GuideDlg.h"

#include "res/Templates.h"

namespace quillmar {

// Nothing to handle: the page has no button; Esc, Enter and the close box end it.
CGuideDlg::CGuideDlg() : CDialog(kGuideTemplate) {}

} // namespace quillmar
