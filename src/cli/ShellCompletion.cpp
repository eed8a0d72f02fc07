// quillmar_completions SHELL FILE: writes quillmar's completion for bash, zsh
// or fish from the command and option tables, at build time, so that the
// shells offer exactly what the parser takes.
#include "cli/Options.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

using namespace quillmar::cli;

namespace {

std::string Str(std::string_view s) {
    return std::string(s);
}

// s between single quotes, for sh (escape "'\''") or fish (escape "\'").
std::string SingleQuoted(std::string_view s, std::string_view quoteEscape) {
    std::string r = "'";
    for (const char c : s) {
        if (c == '\'')
            r += quoteEscape;
        else if (c == '\\' && quoteEscape == "\\'")
            r += "\\\\";
        else
            r += c;
    }
    return r + "'";
}

// The commands as an alternation ("encrypt-file | save-key") or a list.
std::string CommandNames(unsigned commands, std::string_view separator) {
    std::string r;
    for (const CommandSpec& command : kCommandSpecs) {
        if (commands & Bit(command.command))
            r += (r.empty() ? "" : Str(separator)) + Str(command.name);
    }
    return r;
}

// Every spelling of the options whose value is of kind value, by separator.
std::string Spellings(Value value, std::string_view separator) {
    std::string r;
    for (const OptionSpec& option : kOptionSpecs) {
        if (option.value != value)
            continue;
        if (option.letter)
            r += (r.empty() ? "-" : Str(separator) + "-") + std::string{option.letter};
        r += (r.empty() ? "--" : Str(separator) + "--") + Str(option.name);
    }
    return r;
}

using Group = std::pair<unsigned, std::string>;

// Commands grouped by what line(command) says of them, in their order, each
// as a case pattern and that; none for the commands that say what line(nullptr),
// the default, says.
std::vector<Group> Groups(std::string (*line)(const CommandSpec*), std::string_view separator) {
    std::vector<Group> groups;
    for (const CommandSpec& command : kCommandSpecs) {
        std::string text = line(&command);
        if (text == line(nullptr))
            continue;
        const auto same = std::ranges::find(groups, text, &Group::second);
        if (same == groups.end())
            groups.emplace_back(Bit(command.command), std::move(text));
        else
            same->first |= Bit(command.command);
    }
    for (auto& [commands, text] : groups)
        text = CommandNames(commands, separator) + ")\n" + text;
    return groups;
}

// The commands that take files.
unsigned WithFiles() {
    unsigned commands = 0;
    for (const CommandSpec& command : kCommandSpecs)
        commands |= command.arguments.empty() ? 0 : Bit(command.command);
    return commands;
}

bool Takes(const OptionSpec& option, const CommandSpec* command) {
    return command ? option.commands & Bit(command->command) : option.commands == kEveryCommand;
}

std::string Bash() {
    const std::string withValue =
        Spellings(Value::File, " | ") + " | " + Spellings(Value::Descriptor, " | ");
    std::string script =
        R"sh(# bash completion for quillmar                             -*- shell-script -*-
# Made from quillmar's option table by quillmar_completions: commands, then
# each command's options, then file names where files go.

_quillmar() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} split=false
    # bash splits --key-file=FILE into three words.
    if [[ $cur == = ]]; then
        cur= split=true
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]} split=true
    fi

    case $prev in
        )sh" +
        Spellings(Value::File, " | ") +
        R"sh()
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
        )sh" +
        Spellings(Value::Descriptor, " | ") +
        R"sh()
            # Descriptors this shell has open.
            COMPREPLY=($(compgen -W "$(command ls /proc/$$/fd 2>/dev/null)" -- "$cur"))
            return
            ;;
    esac
    $split && return

    # The command is the first word that is neither an option nor its value;
    # after "--" every word is a file.
    local i command="" ended=false
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            )sh" +
        withValue + R"sh()
                ((i++))
                [[ ${COMP_WORDS[i]} == = ]] && ((i++))
                ;;
            -?* | =) ;;
            *)
                command=${COMP_WORDS[i]}
                break
                ;;
        esac
    done
    for ((; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && ended=true
    done

    if [[ $cur == -* ]] && ! $ended; then
        local options
        case $command in
)sh";
    const auto options = [](const CommandSpec* command) {
        std::string list;
        for (const OptionSpec& option : kOptionSpecs) {
            if (Takes(option, command))
                list += (list.empty() ? "--" : " --") + Str(option.name) +
                        (option.value == Value::None ? "" : "=");
        }
        return "                options=\"" + list + "\"\n                ;;\n";
    };
    for (const auto& [commands, text] : Groups(options, " | "))
        script += "            " + text;
    script += "            *)\n" + options(nullptr) + R"sh(        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace 2>/dev/null
        return
    fi

    case $command in
        "")
            COMPREPLY=($(compgen -W ")sh" +
              CommandNames(kEveryCommand, " ") + R"sh(" -- "$cur"))
            ;;
        )sh";
    return script + CommandNames(WithFiles(), " | ") + R"sh()
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            ;;
    esac
} &&
    complete -F _quillmar quillmar
)sh";
}

// zsh's entry of one option: "(-k --key-file)--key-file=[help]:KEYFILE:_files".
std::string ZshSpecs(const OptionSpec& option) {
    if (option.name.empty())
        return {}; // _arguments -S knows "--"
    std::string help;
    for (const char c : option.help)
        help += c == ':' || c == ']' || c == '[' ? std::string{'\\', c} : std::string{c};
    const std::string value = option.value == Value::None ? ""
                              : option.value == Value::File
                                  ? ":" + Str(option.argument) + ":_files"
                                  : ":" + Str(option.argument) + ":_file_descriptors";
    const std::string both =
        option.letter ? "(-" + std::string{option.letter} + " --" + Str(option.name) + ")" : "";
    std::string specs =
        "      " +
        SingleQuoted(both + "--" + Str(option.name) + (option.value == Value::None ? "" : "=") +
                         "[" + help + "]" + value,
                     "'\\''") +
        "\n";
    if (option.letter)
        specs +=
            "      " +
            SingleQuoted(both + "-" + std::string{option.letter} +
                             (option.value == Value::None ? "" : "+") + "[" + help + "]" + value,
                         "'\\''") +
            "\n";
    return specs;
}

std::string Zsh() {
    std::string script = R"sh(#compdef quillmar
# Made from quillmar's option table by quillmar_completions.

local -a commands=(
)sh";
    for (const CommandSpec& command : kCommandSpecs) {
        script +=
            "  " +
            SingleQuoted(Str(command.name) + (command.help.empty() ? "" : ":") + Str(command.help),
                         "'\\''") +
            "\n";
    }
    script += R"sh()
# The command is the first word that is neither an option nor its value.
local command= i
for (( i = 2; i < CURRENT; i++ )); do
  case ${words[i]} in
    ()sh" + Spellings(Value::File, "|") +
              "|" + Spellings(Value::Descriptor, "|") + R"sh() (( i++ )) ;;
    (-?*) ;;
    (*) command=${words[i]}; break ;;
  esac
done
local -a specs
case $command in
)sh";
    const auto specs = [](const CommandSpec* command) {
        std::string list;
        for (const OptionSpec& option : kOptionSpecs) {
            if (Takes(option, command))
                list += ZshSpecs(option);
        }
        int n = 1;
        for (std::string_view names = command ? command->arguments : ""; !names.empty();) {
            const auto name = names.substr(0, names.find(' '));
            list += "      '" + std::to_string(++n) + ":" + Str(name) + ":_files'\n";
            names.remove_prefix(std::min(names.size(), name.size() + 1));
        }
        return "    specs=(\n" + list + "    ) ;;\n";
    };
    for (const auto& [commands, text] : Groups(specs, "|"))
        script += "  (" + text;
    return script + "  (*)\n" + specs(nullptr) + R"sh(esac
local curcontext=$curcontext state state_descr line ret=1
typeset -A opt_args
_arguments -C -s -S : $specs '1: :->command' && ret=0
if [[ $state == command ]]; then
  _describe -t commands 'quillmar command' commands && ret=0
fi
return ret
)sh";
}

std::string Fish() {
    std::string script = "# Made from quillmar's option table by quillmar_completions.\n\n"
                         "set -l commands " +
                         CommandNames(kEveryCommand, " ") +
                         "\n# No file names but where the table says.\n"
                         "complete -c quillmar -f\n";
    for (const CommandSpec& command : kCommandSpecs) {
        script += "complete -c quillmar -n \"not __fish_seen_subcommand_from $commands\" -a " +
                  Str(command.name) +
                  (command.help.empty() ? "" : " -d " + SingleQuoted(command.help, "\\'")) + "\n";
    }
    script += "complete -c quillmar -n \"__fish_seen_subcommand_from " +
              CommandNames(WithFiles(), " ") + "\" -F\n";
    for (const OptionSpec& option : kOptionSpecs) {
        if (option.name.empty())
            continue;
        script += "complete -c quillmar";
        if (option.commands != kEveryCommand)
            script +=
                " -n \"__fish_seen_subcommand_from " + CommandNames(option.commands, " ") + "\"";
        if (option.letter)
            script += " -s " + std::string{option.letter};
        script += " -l " + Str(option.name) +
                  (option.value == Value::File         ? " -r -F"
                   : option.value == Value::Descriptor ? " -x -a '(command ls /proc/$fish_pid/fd)'"
                                                       : "") +
                  " -d " + SingleQuoted(option.help, "\\'") + "\n";
    }
    return script;
}

} // namespace

int main(int argc, char** argv) {
    const std::string shell = argc == 3 ? argv[1] : "";
    const std::string script = shell == "bash"   ? Bash()
                               : shell == "zsh"  ? Zsh()
                               : shell == "fish" ? Fish()
                                                 : "";
    if (script.empty()) {
        std::cerr << "usage: quillmar_completions bash|zsh|fish FILE\n";
        return 2;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << script;
    return out.flush() ? 0 : 1;
}
