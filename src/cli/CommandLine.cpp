#include "cli/CommandLine.h"

#include "cli/Options.h"
#include "platform/locale/Translate.h"

#include <algorithm>
#include <charconv>
#include <getopt.h>
#include <vector>

namespace quillmar::cli {

namespace {

const CommandSpec* FindCommand(std::string_view name) {
    for (const CommandSpec& entry : kCommandSpecs) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

ParsedCommandLine Fail(std::string error) {
    return {{}, std::move(error), {}};
}

// getopt_long's value for an option: its letter, or past every letter.
int GetoptValue(const OptionSpec& entry) {
    return entry.letter ? entry.letter : 256 + int(&entry - kOptionSpecs);
}

const OptionSpec* FindOption(int value) {
    for (const OptionSpec& entry : kOptionSpecs) {
        if (!entry.name.empty() && GetoptValue(entry) == value)
            return &entry;
    }
    return nullptr;
}

// The getopt_long tables, from the option table.
struct GetoptTables {
    std::string letters = "-:"; // see Scan
    std::vector<option> longs;
    GetoptTables() {
        for (const OptionSpec& entry : kOptionSpecs) {
            if (entry.name.empty())
                continue; // "--" is getopt's own
            const int has = entry.value == Value::None ? no_argument : required_argument;
            // The names are literals, so their data ends in a zero.
            longs.push_back({entry.name.data(), has, nullptr, GetoptValue(entry)});
            if (entry.letter)
                letters +=
                    has == no_argument ? std::string{entry.letter} : std::string{entry.letter, ':'};
        }
        longs.push_back({});
    }
};

// The long options that name begins, when it is none of them exactly.
std::string Candidates(std::string_view name) {
    std::string all;
    for (const OptionSpec& entry : kOptionSpecs) {
        if (entry.name == name)
            return {};
        if (!entry.name.empty() && entry.name.starts_with(name))
            all += (all.empty() ? "--" : ", --") + std::string(entry.name);
    }
    return all;
}

} // namespace

bool IsEncrypting(Command command) {
    return command == Command::EncryptFile || command == Command::EncryptText;
}

namespace {

// The arguments as getopt_long sorts them, before any is judged.
struct Scanned {
    std::vector<std::pair<const OptionSpec*, std::string>> given; // options with their values
    std::vector<std::string> positional;
    std::string unknown, missing; // the first option refused, spelled as given
    std::string ambiguous;        // the first abbreviation of two options, and what it could be
    bool help = false, version = false;
};

Scanned Scan(std::span<const std::string> args) {
    static const GetoptTables tables;
    std::vector<std::string> copies{"quillmar"};
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : copies)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const int argc = int(copies.size());
    // Options may stand anywhere, whatever POSIXLY_CORRECT says ("-"); the other
    // arguments come as option 1, in their order. "-" alone is one of them. A
    // missing value comes as ':'.
    Scanned r;
    ::opterr = 0;
    ::optind = 0; // starts afresh, as for a new program
    for (int c; (c = ::getopt_long(argc, argv.data(), tables.letters.c_str(), tables.longs.data(),
                                   nullptr)) != -1;) {
        const std::string spelled = argv[::optind - 1];
        const std::string name = spelled.substr(0, spelled.find('='));
        const OptionSpec* entry = FindOption(c == ':' ? ::optopt : c);
        const bool first = r.missing.empty() && r.unknown.empty();
        if (c == 1)
            r.positional.emplace_back(::optarg);
        else if (entry && (entry->id == OptionId::Help || entry->id == OptionId::Version))
            (entry->id == OptionId::Help ? r.help : r.version) = true;
        else if (c == ':' && first)
            r.missing = Fill(Tr(entry->needs.data()), {"--" + std::string(entry->name)});
        else if (c == '?' && name.starts_with("--") && !::optopt && r.ambiguous.empty() &&
                 Candidates(name.substr(2)).find(',') != std::string::npos)
            r.ambiguous =
                Fill(Tr(N_("option '%1' is ambiguous: %2")), {name, Candidates(name.substr(2))});
        else if (c == '?' && name.starts_with("--") && ::optopt && first)
            r.missing = Fill(Tr(N_("%1 takes no value")), {name});
        else if (c == '?' && first)
            r.unknown = name.starts_with("--") ? name : std::string{'-', char(::optopt)};
        else if (entry)
            r.given.emplace_back(entry, ::optarg ? ::optarg : "");
    }
    r.positional.insert(r.positional.end(), argv.begin() + ::optind, argv.end() - 1); // after "--"
    return r;
}

// Puts the options into line; a message when one makes no sense for the command.
std::string TakeOptions(const Scanned& scanned, const CommandSpec& command, CommandLine& line) {
    for (const auto& [entry, value] : scanned.given) {
        const std::string name = "--" + std::string(entry->name);
        if (!(entry->commands & Bit(command.command)))
            return Fill(Tr(N_("'%1' is not an option of %2")), {name, command.name});
        if (entry->id == OptionId::Quiet || entry->id == OptionId::Force) {
            (entry->id == OptionId::Quiet ? line.quiet : line.force) = true;
            continue;
        }
        if (line.password.kind != PasswordSource::Kind::Prompt)
            return Tr(N_("give one password option, not two"));
        if (entry->id != OptionId::PasswordFd) {
            // A file is read as a file: standard input is --password-fd 0.
            if (value.empty() || value == "-")
                return Fill(Tr(N_("%1 needs the name of a file")), {name});
            line.password = {entry->id == OptionId::KeyFile ? PasswordSource::Kind::KeyFile
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
std::string TakeArguments(const std::vector<std::string>& positional, const CommandSpec& command,
                          CommandLine& line) {
    const std::string_view names = command.arguments;
    const std::size_t count = positional.size() - 1,
                      wanted = names.empty() ? 0 : 1 + std::ranges::count(names, ' ');
    if (count < wanted) {
        return Fill(Tr(wanted == 2 ? N_("%1 needs SOURCE and TARGET") : N_("%1 needs KEYFILE")),
                    {command.name});
    }
    if (count > wanted)
        return Fill(Tr(N_("too many arguments for %1: '%2'")),
                    {command.name, positional[wanted + 1]});
    if (wanted == 2) {
        line.source = positional[1];
        line.target = positional[2];
    } else if (wanted == 1) {
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

// One line of --help: the left column, then its help where there is one.
void AddHelpLine(std::string& text, std::string left, std::string_view help) {
    if (!help.empty())
        left.resize(std::max<std::size_t>(29, left.size() + 1), ' ');
    text += "  " + left + std::string(help) + "\n";
}

} // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string> args) {
    const Scanned scanned = Scan(args);
    if (scanned.help || scanned.version) {
        ParsedCommandLine only;
        only.line.command = scanned.help ? Command::Help : Command::Version;
        return only;
    }
    // Before the command: an abbreviation's value would pass for one.
    if (!scanned.ambiguous.empty())
        return Fail(scanned.ambiguous);
    if (!scanned.unknown.empty() && scanned.positional.empty())
        return Fail(Fill(Tr(N_("unknown option '%1'")), {scanned.unknown}));
    if (scanned.positional.empty()) {
        ParsedCommandLine none = Fail(Tr(N_("no command given")));
        none.hint = kWindowHint; // for whoever looked for the window here
        return none;
    }
    const CommandSpec* command = FindCommand(scanned.positional[0]);
    if (!command)
        return Fail(Fill(Tr(N_("unknown command '%1'")), {scanned.positional[0]}));
    if (!scanned.missing.empty())
        return Fail(scanned.missing);
    if (!scanned.unknown.empty())
        return Fail(Fill(Tr(N_("'%1' is not an option of %2")), {scanned.unknown, command->name}));
    CommandLine line;
    line.command = command->command;
    std::string error = TakeOptions(scanned, *command, line);
    if (error.empty())
        error = TakeArguments(scanned.positional, *command, line);
    if (!error.empty())
        return Fail(error);
    return {line, {}, {}};
}

std::string UsageText() {
    // Names of commands, options and their values stay as typed; the rest is translated.
    std::string text = Tr(N_("Usage: quillmar COMMAND [OPTION]... [SOURCE TARGET | KEYFILE]\n"
                             "Encrypts files and texts as Quillmar's window does, with the same "
                             "cipher modules.\n"));
    text = text + Tr(kWindowHint.data()) + "\n" + Tr(N_("Commands:")) + "\n";
    for (const CommandSpec& command : kCommandSpecs) {
        AddHelpLine(text,
                    std::string(command.name) +
                        (command.arguments.empty() ? "" : " " + std::string(command.arguments)),
                    Tr(command.help.data()));
    }
    text = text + "\n" + Tr(N_("Options:")) + "\n";
    for (const OptionSpec& option : kOptionSpecs) {
        AddHelpLine(text,
                    (option.letter ? std::string{'-', option.letter, ',', ' '} : "    ") + "--" +
                        std::string(option.name) +
                        (option.argument.empty() ? "" : "=" + std::string(option.argument)),
                    Tr(option.help.data()));
    }
    return text + Tr(N_("With no password option the password is asked for on the terminal, "
                        "without echo.\n"));
}

} // namespace quillmar::cli
