#include "operations/Passwords.h"

#include "platform/os/Utf8.h"

namespace quillmar {

PasswordProblem CheckPassword(std::string_view password) {
    if (password.empty())
        return PasswordProblem::Empty;
    if (password.find('\0') != std::string_view::npos)
        return PasswordProblem::ZeroByte;
    if (password.size() > kPasswordMax)
        return PasswordProblem::TooLong;
    if (!IsUtf8(password))
        return PasswordProblem::NotText;
    return PasswordProblem::None;
}

} // namespace quillmar
