#pragma once
// The password for one command: from a key file, from a descriptor, or asked
// for on the terminal. Whatever the source, the password must be one the
// window's password field could hold too, so that what one encrypts the other
// decrypts.

#include "cli/CommandLine.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace quillmar::cli {

enum class PasswordStatus { Ok, Cancelled, Refused };

struct PasswordResult {
    PasswordStatus status = PasswordStatus::Ok;
    std::string message; // why it was refused
};

// In every function, cancelFd (or -1 for none) ends a wait for input as soon
// as it becomes readable; password is overwritten, and wiped by the caller.

// Everything up to the first newline (or CR LF) or the end, read one byte at a time so
// that what follows the newline stays unread.
PasswordResult ReadPasswordFromDescriptor(int fd, int cancelFd, std::string& password);

// The first line of a file, as from a descriptor; refused when others than its
// owner may read it.
PasswordResult ReadPasswordFromFile(const std::string& path, int cancelFd, std::string& password);

// The first bytes of a key file, read and refused as Load Key does it.
PasswordResult ReadPasswordFromKeyFile(const std::string& path, std::string& password);

// Asks on the terminal tty with echo off, twice when confirm is set; the
// terminal's settings are put back on every path.
PasswordResult PromptForPassword(int tty, bool confirm, int cancelFd, std::string& password);

// The password from the source the command line names; the prompt uses
// /dev/tty, never standard input.
PasswordResult ObtainPassword(const PasswordSource& source, bool confirm, int cancelFd,
                              std::string& password);

} // namespace quillmar::cli
