#include "app/TessarineApp.h"

#include "app/MainDlg.h"

namespace quillmar {

bool CTessarineApp::InitInstance() {
    CWinApp::InitInstance();
    SetRegistryKey("Local AppWizard-Generated Applications");
    {
        CMainDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    // No message loop of our own: the main window was it.
    return false;
}

} // namespace quillmar
