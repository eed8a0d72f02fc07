#include "cli/CommandLine.h"

#include "platform/locale/Translate.h"
#include <charconv>
#include <getopt.h>
#include <vector>

namespace quillmar::cli {

namespace {

// The options a command takes, as bits.
enum Takes : unsigned {
    kPasswordFd = 1,
    kFiles = 2, // --key-file and --password-file
    kQuiet = 4,
    kForce = 8,
};

struct CommandInfo {
    std::string_view name;
    Command command;
    std::size_t arguments; // SOURCE TARGET, KEYFILE or none
    const char* tooFew;    // what is said when they are not all given
    unsigned takes;
};

const CommandInfo kCommands[] = {
    {"encrypt-file", Command::EncryptFile, 2, N_("%1 needs SOURCE and TARGET"),
     kPasswordFd | kFiles | kQuiet | kForce},
    {"decrypt-file", Command::DecryptFile, 2, N_("%1 needs SOURCE and TARGET"),
     kPasswordFd | kFiles | kQuiet | kForce},
    {"encrypt-text", Command::EncryptText, 0, "", kPasswordFd | kFiles | kQuiet},
    {"decrypt-text", Command::DecryptText, 0, "", kPasswordFd | kFiles | kQuiet},
    {"random-key", Command::RandomKey, 0, "", 0},
    {"save-key", Command::SaveKey, 1, N_("%1 needs KEYFILE"), kPasswordFd},
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

enum LongOnly { kOptPasswordFd = 256, kOptPasswordFile };

const option kOptions[] = {
    {"key-file", required_argument, nullptr, 'k'},
    {"password-fd", required_argument, nullptr, kOptPasswordFd},
    {"password-file", required_argument, nullptr, kOptPasswordFile},
    {"quiet", no_argument, nullptr, 'q'},
    {"force", no_argument, nullptr, 'f'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// An option's name in messages, and what it needs the command to take.
std::pair<std::string, unsigned> Describe(int which) {
    for (const ::option& o : kOptions) {
        if (o.val == which)
            return {"--" + std::string(o.name), which == 'k' || which == kOptPasswordFile ? kFiles
                                                : which == kOptPasswordFd ? kPasswordFd
                                                : which == 'q'            ? kQuiet
                                                                          : kForce};
    }
    return {};
}

} // namespace

bool IsEncrypting(Command command) {
    return command == Command::EncryptFile || command == Command::EncryptText;
}

namespace {

// The arguments as getopt_long sorts them, before any is judged.
struct Scanned {
    std::vector<std::pair<int, std::string>> given; // options with their values
    std::vector<std::string> positional;
    std::string unknown, missing; // the first option refused, spelled as given
    bool help = false, version = false;
};

Scanned Scan(std::span<const std::string> args) {
    std::vector<std::string> copies{"quillmar"};
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : copies)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const int argc = int(copies.size());
    // Options may stand anywhere, whatever POSIXLY_CORRECT says; the other
    // arguments come as option 1, in their order. "-" alone is one of them.
    Scanned r;
    ::opterr = 0;
    ::optind = 0; // starts afresh, as for a new program
    for (int c; (c = ::getopt_long(argc, argv.data(), "-:k:qfhV", kOptions, nullptr)) != -1;) {
        const std::string spelled = argv[::optind - 1];
        const bool first = r.missing.empty() && r.unknown.empty();
        if (c == 1)
            r.positional.emplace_back(::optarg);
        else if (c == 'h' || c == 'V')
            (c == 'h' ? r.help : r.version) = true;
        else if (c == ':' && first)
            r.missing = Fill(Tr(::optopt == 'k'              ? N_("%1 needs a key file")
                                : ::optopt == kOptPasswordFd ? N_("%1 needs a descriptor number")
                                                             : N_("%1 needs a file")),
                             {Describe(::optopt).first});
        else if (c == '?' && spelled.starts_with("--") && ::optopt && first)
            r.missing = Fill(Tr(N_("%1 takes no value")), {spelled.substr(0, spelled.find('='))});
        else if (c == '?' && first)
            r.unknown = spelled.starts_with("--") ? spelled.substr(0, spelled.find('='))
                                                  : std::string{'-', char(::optopt)};
        else if (c != ':' && c != '?')
            r.given.emplace_back(c, ::optarg ? ::optarg : "");
    }
    r.positional.insert(r.positional.end(), argv.begin() + ::optind, argv.end() - 1); // after "--"
    return r;
}

// Puts the options into line; a message when one makes no sense for the command.
std::string TakeOptions(const Scanned& scanned, const CommandInfo& info, CommandLine& line) {
    for (const auto& [option, value] : scanned.given) {
        const auto [name, needs] = Describe(option);
        if (!(info.takes & needs))
            return Fill(Tr(N_("'%1' is not an option of %2")), {name, info.name});
        if (option == 'q' || option == 'f') {
            (option == 'q' ? line.quiet : line.force) = true;
            continue;
        }
        if (line.password.kind != PasswordSource::Kind::Prompt)
            return Tr(N_("give one password option, not two"));
        if (option != kOptPasswordFd) {
            // A file is read as a file: standard input is --password-fd 0.
            if (value.empty() || value == "-")
                return Fill(Tr(N_("%1 needs the name of a file")), {name});
            line.password = {option == 'k' ? PasswordSource::Kind::KeyFile
                                           : PasswordSource::Kind::PasswordFile,
                             value, -1};
            continue;
        }
        int number = -1;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (ec != std::errc() || end != value.data() + value.size() || number < 0)
            return Fill(Tr(N_("--password-fd needs a descriptor number, not '%1'")), {value});
        line.password = {PasswordSource::Kind::Descriptor, {}, number};
    }
    return {};
}

// Puts the command's own arguments into line; a message when they do not fit.
std::string TakeArguments(const std::vector<std::string>& positional, const CommandInfo& info,
                          CommandLine& line) {
    const std::size_t count = positional.size() - 1;
    if (count < info.arguments)
        return Fill(Tr(info.tooFew), {info.name});
    if (count > info.arguments)
        return Fill(Tr(N_("too many arguments for %1: '%2'")),
                    {info.name, positional[info.arguments + 1]});
    if (info.arguments == 2) {
        line.source = positional[1];
        line.target = positional[2];
    } else if (info.arguments == 1) {
        line.keyFile = positional[1];
        if (line.keyFile == "-")
            return Tr(N_("save-key needs the name of a key file, not -"));
    }
    // Standard input cannot carry both the password and the data.
    if (line.password.kind == PasswordSource::Kind::Descriptor && line.password.fd == 0) {
        if (line.command == Command::EncryptText || line.command == Command::DecryptText)
            return Tr(N_("--password-fd 0 is standard input, which carries the text"));
        if (line.source == "-")
            return Tr(N_("--password-fd 0 is standard input, which carries SOURCE"));
    }
    return {};
}

} // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string> args) {
    const Scanned scanned = Scan(args);
    if (scanned.help || scanned.version) {
        ParsedCommandLine only;
        only.line.command = scanned.help ? Command::Help : Command::Version;
        return only;
    }
    if (scanned.positional.empty())
        return Fail(scanned.unknown.empty()
                        ? Tr(N_("no command given"))
                        : Fill(Tr(N_("unknown option '%1'")), {scanned.unknown}));
    const CommandInfo* info = FindCommand(scanned.positional[0]);
    if (!info)
        return Fail(Fill(Tr(N_("unknown command '%1'")), {scanned.positional[0]}));
    if (!scanned.missing.empty())
        return Fail(scanned.missing);
    if (!scanned.unknown.empty())
        return Fail(Fill(Tr(N_("'%1' is not an option of %2")), {scanned.unknown, info->name}));
    CommandLine line;
    line.command = info->command;
    std::string error = TakeOptions(scanned, *info, line);
    if (error.empty())
        error = TakeArguments(scanned.positional, *info, line);
    if (!error.empty())
        return Fail(error);
    return {line, {}};
}

std::string_view UsageText() {
    return N_(R"(Usage: quillmar COMMAND [OPTION]... [SOURCE TARGET | KEYFILE]
Encrypts files and texts as Quillmar's window does, with the same cipher modules.

Commands:
  encrypt-file SOURCE TARGET   DES.DLL, the file panel's format; - is standard input or output
  decrypt-file SOURCE TARGET
  encrypt-text                 TRV.DLL: standard input to standard output
  decrypt-text
  random-key                   one key as Random Key makes it, and a newline
  save-key KEYFILE             writes the 268-byte key file (password from --password-fd or asked)

Options:
  -k, --key-file=KEYFILE       the password from a key file, as Load Key reads it
      --password-fd=N          the password: the first line read from descriptor N
      --password-file=FILE     the password: the first line of FILE, which only its owner may read
  -q, --quiet                  no progress line
  -f, --force                  write a file command's output to a terminal too
  -h, --help                   print this help and exit
  -V, --version                print the version and exit
      --                       end the options: SOURCE or TARGET may begin with -
With no password option the password is asked for on the terminal, without echo.
)");
}

} // namespace quillmar::cli
