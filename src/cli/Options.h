#pragma once
// Every quillmar command and option, declared once. The parser, --help and
// the shell completions (made at build time by quillmar_completions) are all
// made from these two tables; the manual page is checked against them.

#include "cli/CommandLine.h"

#include <string_view>

namespace quillmar::cli {

// A set of commands, one bit each.
constexpr unsigned Bit(Command command) {
    return 1u << unsigned(command);
}

inline constexpr unsigned kFileCommands = Bit(Command::EncryptFile) | Bit(Command::DecryptFile);
inline constexpr unsigned kTextCommands = Bit(Command::EncryptText) | Bit(Command::DecryptText);
inline constexpr unsigned kEveryCommand = ~0u;

struct CommandSpec {
    std::string_view name;
    Command command;
    std::string_view arguments; // its own arguments' names, by a space
    std::string_view help;      // one line; empty where the line above says it
};

inline constexpr CommandSpec kCommandSpecs[] = {
    {"encrypt-file", Command::EncryptFile, "SOURCE TARGET",
     "DES.DLL, the file panel's format; - is standard input or output"},
    {"decrypt-file", Command::DecryptFile, "SOURCE TARGET", ""},
    {"encrypt-text", Command::EncryptText, "", "TRV.DLL: standard input to standard output"},
    {"decrypt-text", Command::DecryptText, "", ""},
    {"random-key", Command::RandomKey, "", "one key as Random Key makes it, and a newline"},
    {"save-key", Command::SaveKey, "KEYFILE",
     "writes the 268-byte key file (password from --password-fd or asked)"},
};

enum class OptionId { KeyFile, PasswordFd, PasswordFile, Quiet, Force, Help, Version, End };

// What an option's value is, for the shells to complete.
enum class Value { None, File, Descriptor };

struct OptionSpec {
    OptionId id;
    std::string_view name; // the long name; empty for "--", which ends the options
    char letter;           // the short one, or 0
    Value value;
    std::string_view argument; // the value's name in --help
    std::string_view needs;    // what the refusal of a missing value says it needs
    unsigned commands;         // the commands that take it
    std::string_view help;
};

inline constexpr unsigned kPasswordCommands = kFileCommands | kTextCommands;

inline constexpr OptionSpec kOptionSpecs[] = {
    {OptionId::KeyFile, "key-file", 'k', Value::File, "KEYFILE", "a key file", kPasswordCommands,
     "the password from a key file, as Load Key reads it"},
    {OptionId::PasswordFd, "password-fd", 0, Value::Descriptor, "N", "a descriptor number",
     kPasswordCommands | Bit(Command::SaveKey),
     "the password: the first line read from descriptor N"},
    {OptionId::PasswordFile, "password-file", 0, Value::File, "FILE", "a file", kPasswordCommands,
     "the password: the first line of FILE, which only its owner may read"},
    {OptionId::Quiet, "quiet", 'q', Value::None, "", "", kPasswordCommands, "no progress line"},
    {OptionId::Force, "force", 'f', Value::None, "", "", kFileCommands,
     "write a file command's output to a terminal too"},
    {OptionId::Help, "help", 'h', Value::None, "", "", kEveryCommand, "print this help and exit"},
    {OptionId::Version, "version", 'V', Value::None, "", "", kEveryCommand,
     "print the version and exit"},
    {OptionId::End, "", 0, Value::None, "", "", kFileCommands,
     "end the options: SOURCE or TARGET may begin with -"},
};

} // namespace quillmar::cli
