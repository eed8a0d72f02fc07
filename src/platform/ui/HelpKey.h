#pragma once
// F1 for a dialog: program code names the action, the key stays in this layer.

#include <functional>

namespace quillmar {

class CDialog;

// Runs action when F1 is pressed anywhere in the dialog's window, its panels
// included; does nothing while another window (a modal dialog) is active.
void SetHelpKey(CDialog& dlg, std::function<void()> action);

} // namespace quillmar
