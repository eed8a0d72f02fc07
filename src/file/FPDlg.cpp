#include "FPDlg.h"

#include "res/Templates.h"

namespace quillmar {

CFPDlg::CFPDlg() : CDialog(kFileTemplate) {}

} // namespace quillmar
