#include "CommandLine.h"

#include <charconv>
#include <vector>

namespace quillmar::cli {

namespace {

struct CommandInfo {
    std::string_view name;
    Command command;
    std::size_t arguments; // SOURCE TARGET, KEYFILE or none
    std::string_view argumentNames;
    bool keyFile, passwordFd, quiet; // the options it takes
};

const CommandInfo kCommands[] = {
    {"encrypt-file", Command::EncryptFile, 2, "SOURCE and TARGET", true, true, true},
    {"decrypt-file", Command::DecryptFile, 2, "SOURCE and TARGET", true, true, true},
    {"encrypt-text", Command::EncryptText, 0, "", true, true, true},
    {"decrypt-text", Command::DecryptText, 0, "", true, true, true},
    {"random-key", Command::RandomKey, 0, "", false, false, false},
    {"save-key", Command::SaveKey, 1, "KEYFILE", false, true, false},
};

const CommandInfo* FindCommand(std::string_view name) {
    for (const CommandInfo& info : kCommands) {
        if (info.name == name)
            return &info;
    }
    return nullptr;
}

ParsedCommandLine Fail(std::string error) {
    return {{}, std::move(error)};
}

std::string Quoted(std::string_view s) {
    return "'" + std::string(s) + "'";
}

} // namespace

bool IsEncrypting(Command command) {
    return command == Command::EncryptFile || command == Command::EncryptText;
}

bool IsFileCommand(Command command) {
    return command == Command::EncryptFile || command == Command::DecryptFile;
}

ParsedCommandLine ParseCommandLine(std::span<const std::string> args) {
    if (args.empty())
        return Fail("no command given");
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        ParsedCommandLine only;
        if (arg == "--help" || arg == "-h")
            only.line.command = Command::Help;
        else if (arg == "--version")
            only.line.command = Command::Version;
        else
            continue;
        return only;
    }
    const CommandInfo* info = FindCommand(args[0]);
    if (!info) {
        return Fail((args[0].starts_with('-') ? "unknown option " : "unknown command ") +
                    Quoted(args[0]));
    }
    CommandLine line;
    line.command = info->command;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // "-" alone is standard input or output, not an option.
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (name == "--quiet" && info->quiet && equals == std::string::npos) {
            line.quiet = true;
            continue;
        }
        const bool keyFile = name == "--key-file" && info->keyFile;
        const bool fd = name == "--password-fd" && info->passwordFd;
        if (!keyFile && !fd)
            return Fail(Quoted(arg) + " is not an option of " + std::string(info->name));
        if (line.password.kind != PasswordSource::Kind::Prompt)
            return Fail("give one password option, not two");
        std::string value;
        if (equals != std::string::npos)
            value = arg.substr(equals + 1);
        else if (i + 1 < args.size())
            value = args[++i];
        else
            return Fail(name + (keyFile ? " needs a key file" : " needs a descriptor number"));
        if (keyFile) {
            // A key file is read as a file: standard input is --password-fd 0.
            if (value.empty() || value == "-")
                return Fail("--key-file needs the name of a key file");
            line.password = {PasswordSource::Kind::KeyFile, value, -1};
            continue;
        }
        int number = -1;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (ec != std::errc() || end != value.data() + value.size() || number < 0)
            return Fail("--password-fd needs a descriptor number, not " + Quoted(value));
        line.password = {PasswordSource::Kind::Descriptor, {}, number};
    }
    if (positional.size() < info->arguments)
        return Fail(std::string(info->name) + " needs " + std::string(info->argumentNames));
    if (positional.size() > info->arguments) {
        return Fail("too many arguments for " + std::string(info->name) + ": " +
                    Quoted(positional[info->arguments]));
    }
    if (info->arguments == 2) {
        line.source = positional[0];
        line.target = positional[1];
    } else if (info->arguments == 1) {
        line.keyFile = positional[0];
        if (line.keyFile == "-")
            return Fail("save-key needs the name of a key file, not -");
    }
    // Standard input cannot carry both the password and the data.
    if (line.password.kind == PasswordSource::Kind::Descriptor && line.password.fd == 0) {
        if (line.command == Command::EncryptText || line.command == Command::DecryptText)
            return Fail("--password-fd 0 is standard input, which carries the text");
        if (line.source == "-")
            return Fail("--password-fd 0 is standard input, which carries SOURCE");
    }
    return {line, {}};
}

std::string_view UsageText() {
    return R"(quillmar encrypt-file SOURCE TARGET [PASSWORD OPTION]   # DES.DLL, the file panel's format
quillmar decrypt-file SOURCE TARGET [PASSWORD OPTION]
quillmar encrypt-text [PASSWORD OPTION]                  # TRV.DLL: standard input to standard output
quillmar decrypt-text [PASSWORD OPTION]
quillmar random-key                                      # one key as Random Key makes it, and a newline
quillmar save-key KEYFILE [--password-fd N]              # writes the 268-byte key file
quillmar --help | --version
PASSWORD OPTION:  --key-file KEYFILE  |  --password-fd N
)";
}

} // namespace quillmar::cli
