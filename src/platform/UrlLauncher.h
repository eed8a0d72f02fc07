#pragma once
// Hands a URL to the desktop's handler for it; replaceable for tests.

#include <string>

namespace quillmar {

class UrlLauncherService {
public:
    virtual ~UrlLauncherService() = default;
    // False when the URL could not be handed over.
    virtual bool Open(const std::string& url) = 0;
};

void SetUrlLauncherService(UrlLauncherService* service);
bool AfxOpenUrl(const std::string& url);

} // namespace quillmar
