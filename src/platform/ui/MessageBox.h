#pragma once
// Message boxes go through a replaceable service so that tests can read
// what would have been shown.

#include "platform/ui/Types.h"

#include <optional>
#include <string>
#include <string_view>

namespace quillmar {

class CDialog;

struct MessageRecord {
    const CDialog* owner;
    std::string text;
    std::string caption; // as asked: the application's name, or empty
    MsgIcon icon;
};

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual void Show(const MessageRecord& m) = 0;
};

// nullptr restores the platform's own message box.
void SetMessageBoxService(MessageBoxService* service);

// No caption: the box is titled with the application's name.
void AfxMessageBox(const CDialog* owner, std::string_view text,
                   std::optional<std::string_view> caption = std::nullopt,
                   MsgIcon icon = MsgIcon::None);

} // namespace quillmar
