#pragma once
// The quillmar command's arguments, checked and sorted into a plain struct
// before anything is opened or asked for.

#include <span>
#include <string>
#include <string_view>

namespace quillmar::cli {

enum class Command {
    Help,
    Version,
    EncryptFile,
    DecryptFile,
    EncryptText,
    DecryptText,
    RandomKey,
    SaveKey,
};

// Where the password comes from. No argument ever carries the password
// itself: every user of the machine can read a command line.
struct PasswordSource {
    enum class Kind { Prompt, KeyFile, Descriptor, PasswordFile };
    Kind kind = Kind::Prompt;
    std::string file; // the key file or the password file
    int fd = -1;
};

struct CommandLine {
    Command command = Command::Help;
    std::string source;  // file commands; "-" is standard input
    std::string target;  // file commands; "-" is standard output
    std::string keyFile; // save-key's KEYFILE
    PasswordSource password;
    bool quiet = false;
    bool force = false; // binary output to a terminal too
};

struct ParsedCommandLine {
    CommandLine line;
    std::string error;     // empty when the arguments make sense
    std::string_view hint; // a line to add after the error, if any
};

// In --help, and after the complaint of no command.
inline constexpr std::string_view kWindowHint = "The window is started as Tessarine.\n";

// args are the arguments after the program's name.
ParsedCommandLine ParseCommandLine(std::span<const std::string> args);

bool IsEncrypting(Command command);

// What --help prints.
std::string UsageText();

} // namespace quillmar::cli
