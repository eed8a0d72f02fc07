#pragma once
// Hands a URL to the desktop's handler for it; replaceable for tests.

#include <cstddef>
#include <functional>
#include <string>

namespace quillmar {

class CDialog;

class UrlLauncherService {
public:
    virtual ~UrlLauncherService() = default;
    // False when the URL could not be handed over.
    virtual bool Open(const std::string& url) = 0;
};

void SetUrlLauncherService(UrlLauncherService* service);

// The longest URL handed to the desktop: Linux passes at most 128 KiB in one program
// argument, and xdg-open's helpers need some room of their own.
inline constexpr std::size_t kMaxUrlBytes = 126 * 1024;

// False when the URL could not be handed over (too long, no xdg-open on PATH, no process).
// The handler then runs on its own and outlives the program. If it later ends with a
// failure (no handler for the scheme), onLateFailure runs on the window thread, unless
// owner's window has gone by then. Only the desktop launcher reports late failures.
bool AfxOpenUrl(const std::string& url, const CDialog* owner = nullptr,
                std::function<void()> onLateFailure = {});

} // namespace quillmar
