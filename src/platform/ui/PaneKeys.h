#pragma once
// Keyboard moves between a window's sidebar and the panels it switches: program code names
// the buttons and panels, the keys stay in this layer.
//
//   F6, Shift+F6                 focus from the shown panel to the sidebar and back
//   Ctrl+Tab, Ctrl+PgDn          show the next panel, as its sidebar button would
//   Ctrl+Shift+Tab, Ctrl+PgUp    show the previous panel
//   arrow keys in the sidebar    focus the next or previous sidebar button
//
// Each panel keeps its own Tab order; Space and Enter press a focused button as they always do.

#include <vector>

namespace quillmar {

class CDialog;

// A panel of the window and the sidebar button that shows it.
struct PaneButton {
    CDialog* panel;
    int buttonId;
};

// sidebar: the window's sidebar buttons in the order the arrow keys visit them;
// panels: in the order Ctrl+Tab visits them.
void SetPaneKeys(CDialog& window, std::vector<int> sidebar, std::vector<PaneButton> panels);

} // namespace quillmar
