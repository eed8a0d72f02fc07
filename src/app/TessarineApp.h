#pragma once

#include "platform/ui/WinApp.h"

namespace quillmar {

class CTessarineApp : public CWinApp {
public:
    std::optional<int> AnswerCommandLine(int argc, char** argv) override;
    bool InitInstance() override;
    int ExitInstance() override { return m_exitStatus; }

private:
    int m_exitStatus = 0;
};

} // namespace quillmar
