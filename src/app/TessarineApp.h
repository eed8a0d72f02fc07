#pragma once

#include "platform/ui/WinApp.h"

namespace quillmar {

class CTessarineApp : public CWinApp {
public:
    bool InitInstance() override;
};

} // namespace quillmar
