// quillmar from outside: the built program run by a shell through pipes, a
// pseudo-terminal and signals, against the file panel's block loop, the
// window's key files and the real cipher modules. Parsing and password
// reading are called directly.
#include "TestFiles.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/Password.h"
#include "keys/KeyFile.h"
#include "keys/RandomKey.h"
#include "operations/Binding.h"
#include "operations/FilePair.h"
#include "operations/KeyFiles.h"
#include "operations/Passwords.h"
#include "operations/ProgressText.h"
#include "res/Strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quillmar::cli {

using test::ReadFile, test::TempDir, test::WriteFile;

const fs::path kBuild = QUILLMAR_OUTPUT_DIR;
const std::string kPassword = "Sesam, öffne dich!";

// A key file as the window's Save Key writes it, named in $K for the shell.
struct WindowKeyFile : TempDir {
    WindowKeyFile() {
        KeyRecord record;
        EXPECT_TRUE(MakeKeyRecord(kPassword, record));
        WriteFile(path() / "k", std::string(record.bytes.begin(), record.bytes.end()));
        ::setenv("K", (path() / "k").c_str(), 1);
    }
};

// The exit status (or 128 and the signal), standard output and standard error.
using Result = std::tuple<int, std::string, std::string>;

// A shell script in its own session, so with no terminal but tty, if given.
// $Q is the built quillmar, $B the build folder, $F the test modules' folder.
// Standard input, output and error are files; pipes are the script's own.
// The script runs in cwd, or else in the folder of those files.
struct Child {
    Child(const std::string& script, const fs::path& cwd, const std::string& input = {},
          const std::string& tty = "/dev/null") {
        WriteFile(io / "in", input);
        if ((pid = ::fork()) == 0) {
            ::setsid(); // a terminal opened after this becomes the controlling one
            ::execl("/bin/sh", "sh", "-c", kPrologue, "sh", cwd.c_str(), io.path().c_str(),
                    tty.c_str(), script.c_str(), nullptr);
            ::_exit(127);
        }
    }

    Result Wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                ReadFile(io / "out"), ReadFile(io / "err")};
    }

    static constexpr const char* kPrologue =
        "Q='" QUILLMAR_OUTPUT_DIR "/quillmar' B='" QUILLMAR_OUTPUT_DIR
        "' F='" QUILLMAR_FAKE_MODULE_DIR "' && cd \"${1:-$2}\" && "
        "exec <\"$2/in\" >\"$2/out\" 2>\"$2/err\" 3<>\"$3\" 3<&- && eval \"$4\"";
    TempDir io;
    pid_t pid = -1;
};

Result Shell(const std::string& script, const fs::path& cwd, const std::string& input = {}) {
    return Child(script, cwd, input).Wait();
}

// Every name under a folder, hidden ones too, with its kind and mode, where a
// link leads, and a digest of each file's content.
std::string Listing(const fs::path& dir) {
    return std::get<1>(
        Shell("find . -exec stat -c '%N %A' {} + -type f -exec md5sum {} + | sort", dir));
}

// The window's file panel code with the real DES.DLL.
std::string PanelFileCipher(const std::string& data, const char* entry) {
    const TempDir dir;
    WriteFile(dir / "in", data);
    const CModule module("DES.DLL", entry, {kBuild});
    const auto done = RunBlockCipher((dir / "in").string(), (dir / "out").string(),
                                     kPassword.c_str(), module.Entry(), {}, PosixFileLayer());
    EXPECT_EQ(done.kind, BlockOutcome::Kind::Success);
    return ReadFile(dir / "out");
}

// The text panel's call into TRV.DLL.
std::string PanelTextCipher(std::string text, const char* entry,
                            const std::string& password = kPassword) {
    const CModule module("TRV.DLL", entry, {kBuild});
    module.Entry()(text.data(), password.c_str(), std::int32_t(text.size()));
    return text;
}

// A parsed command line in one line of text.
std::string Describe(const ParsedCommandLine& parsed) {
    const char* names[] = {"help", "version", "encrypt-file", "decrypt-file", "encrypt-text",
                           "decrypt-text", "random-key", "save-key"};
    const char* kinds[] = {"prompt", "key ", "fd ", "file "};
    const CommandLine& l = parsed.line;
    const PasswordSource& p = l.password;
    if (!parsed.error.empty())
        return "error: " + parsed.error;
    return names[int(l.command)] + (" [" + l.source + "] [" + l.target + "] [" + l.keyFile + "] ") +
           kinds[int(p.kind)] + p.file + (p.fd < 0 ? "" : std::to_string(p.fd)) +
           (l.quiet ? " quiet" : "") + (l.force ? " force" : "");
}

TEST(CliCommandLine, SortsArgumentsAndRefusesWhatMakesNoSense) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"encrypt-file", "a", "b"}, "encrypt-file [a] [b] [] prompt"},
        {{"decrypt-file", "--key-file", "k", "-", "-"}, "decrypt-file [-] [-] [] key k"},
        {{"encrypt-text", "--password-fd=3", "--quiet"}, "encrypt-text [] [] [] fd 3 quiet"},
        {{"encrypt-file", "a", "b", "--password-fd", "0"}, "encrypt-file [a] [b] [] fd 0"},
        {{"encrypt-file", "--", "-x", "--help"}, "encrypt-file [-x] [--help] [] prompt"},
        {{"-qfk", "k", "decrypt-file", "-", "-"}, "decrypt-file [-] [-] [] key k quiet force"},
        {{"encrypt-text", "--password-file=p"}, "encrypt-text [] [] [] file p"},
        {{"random-key", "-V"}, "version [] [] [] prompt"},
        {{"encrypt-text", "-f"}, "error: '--force' is not an option of encrypt-text"},
        {{"encrypt-text", "--quiet=1"}, "error: --quiet takes no value"},
        {{"encrypt-text", "-k"}, "error: --key-file needs a key file"},
        {{"encrypt"}, "error: unknown command 'encrypt'"},
        {{"encrypt-text", "--password-f", "3"},
         "error: option '--password-f' is ambiguous: --password-fd, --password-file"},
        {{"save-key", "k", "--key-file", "j"}, "error: '--key-file' is not an option of save-key"},
        {{"encrypt-text", "--key-file", "k", "--password-fd", "3"},
         "error: give one password option, not two"},
        {{"encrypt-text", "--password-fd", "3x"},
         "error: --password-fd needs a descriptor number, not '3x'"},
        {{"encrypt-text", "--password-fd", "0"},
         "error: --password-fd 0 is standard input, which carries the text"},
        {{"encrypt-file", "-", "b", "--password-fd", "0"},
         "error: --password-fd 0 is standard input, which carries SOURCE"},
        {{"save-key", "-"}, "error: save-key needs the name of a key file, not -"},
    };
    for (const auto& [args, expected] : rows)
        EXPECT_EQ(Describe(ParseCommandLine(args)), expected);
}

// Each command and option of the table has an entry in the manual page.
TEST(CliOptionTable, ManualPageHasAnEntryForEachCommandAndOption) {
    std::ifstream page(QUILLMAR_MAN_PAGE);
    std::set<std::string> entries; // the words after each .TP, "\-" as "-"
    for (std::string line, last; std::getline(page, line); last = line) {
        for (auto at = line.find("\\-"); at != std::string::npos; at = line.find("\\-", at))
            line.erase(at, 1);
        std::istringstream words(line);
        for (std::string word; last == ".TP" && words >> word;)
            entries.insert(word);
    }
    for (const CommandSpec& command : kCommandSpecs)
        EXPECT_TRUE(entries.contains(std::string(command.name))) << command.name;
    for (const OptionSpec& option : kOptionSpecs) {
        EXPECT_TRUE(entries.contains("--" + std::string(option.name))) << option.name;
        EXPECT_TRUE(!option.letter || entries.contains(std::string{'-', option.letter}));
    }
}

// The bash completion made from the table, called as bash calls it.
TEST(CliOptionTable, BashCompletesCommandsTheirOptionsAndFiles) {
    const TempDir dir;
    const std::pair<std::string, std::string> rows[] = {
        {"\"\"", "encrypt-file decrypt-file encrypt-text decrypt-text random-key save-key"},
        {"encrypt-file --pa", "--password-fd= --password-file="},
        {"save-key -", "--password-fd= --help --version"},
        {"-k = k decrypt-text --q", "--quiet"},
        {"encrypt-file --quiet a", "a"},
        {"encrypt-file --password-fd 0", "0"},
    };
    for (const auto& [words, expected] : rows) {
        EXPECT_EQ(Shell("touch a; B=$B bash", dir.path(),
                        "source $B/completions/bash/quillmar; COMP_WORDS=(quillmar " + words +
                            "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _quillmar; echo "
                            "\"${COMPREPLY[*]}\""),
                  Result(0, expected + "\n", ""));
    }
}

TEST(CliPassword, PipeOrKeyFileGivesAPasswordOnlyIfTheWindowCouldTakeIt) {
    const auto record = [](const std::string& p) { return test::KeyRecordBytes(p, p.size()); };
    const std::string max(kPasswordMax, 'x');
    const TempDir dir;
    // The key file read ("" for the pipe), what it or the pipe holds, the
    // password, and the refusal.
    const std::tuple<std::string, std::string, std::string, std::string> rows[] = {
        {"", "secret\r\nnext", "secret", ""},
        {"p", "line\r\nnext", "line", ""},
        {"pub", "secret\n", "",
         (dir / "pub").string() +
             " can be read by its group or by others: make it private with chmod 600 first."},
        {"", "no newline", "no newline", ""},
        {"", max, max, ""},
        {"", max + "x", "", "The password is longer than 32767 bytes."},
        {"", "", "", str::kFillPassword},
        {"", std::string("a\0b", 3), "",
         "The password holds a zero byte, which ends it for the cipher modules."},
        {"", "caf\xE9", "",
         "The password is not UTF-8 text, which the window's password field needs."},
        {"k", record(""), "", str::kFillPassword},
        {"k", record("caf\xE9"), "", str::kKeyNotLoadable},
    };
    using enum PasswordSource::Kind;
    for (const auto& [file, content, expected, message] : rows) {
        int p[2];
        ASSERT_EQ(::pipe(p), 0);
        if (file.empty())
            ASSERT_EQ(::write(p[1], content.data(), content.size()), ssize_t(content.size()));
        else if (file == "k" || file.starts_with("p"))
            WriteFile(dir / file, content);
        if (file.starts_with("p")) // a password file; "pub" all may read
            fs::permissions(dir / file, fs::perms(file == "p" ? 0600 : 0644));
        ::close(p[1]);
        std::string password = "stale", rest(8, '\0');
        const auto r = ObtainPassword(
            file.empty()
                ? PasswordSource{Descriptor, {}, p[0]}
                : PasswordSource{file.starts_with("p") ? PasswordFile : KeyFile, dir / file},
            false, -1, password);
        rest.resize(std::size_t(std::max<ssize_t>(0, ::read(p[0], rest.data(), rest.size()))));
        ::close(p[0]);
        // Read a byte at a time: what follows the newline stays in the pipe.
        const auto newline = content.find('\n');
        EXPECT_EQ(rest,
                  file.empty() && newline != std::string::npos ? content.substr(newline + 1) : "");
        EXPECT_EQ(r.status, message.empty() ? PasswordStatus::Ok : PasswordStatus::Refused);
        EXPECT_EQ(std::tie(r.message, password), std::tie(message, expected));
    }
}

TEST(CliFormats, SameBytesAsThePanelsThroughFilesAndPipes) {
    const WindowKeyFile key;
    const TempDir dir;
    // The command turns in into out, through files and then through pipes.
    const auto expect = [&](const std::string& command, const std::string& in,
                            const std::string& out) {
        SCOPED_TRACE(command + " of " + std::to_string(in.size()) + " bytes");
        WriteFile(dir / "in", in);
        const bool file = command.ends_with("file");
        const std::string q = "$Q " + command + " --key-file $K ";
        const auto r = Shell(q + (file ? "in out" : "<in >out") + " && cat | " + q +
                                 (file ? "- - | cat" : "| cat"),
                             dir.path(), in);
        EXPECT_EQ(r, Result(0, out, ""));
        EXPECT_EQ(ReadFile(dir / "out"), out);
    };
    for (std::size_t size : {0, 1, 8, 511, 512, 513, 65536 * 3 + 100}) {
        const std::string plain = test::Pattern(size, unsigned(size)),
                          encrypted = PanelFileCipher(plain, kEncryptEntry),
                          decrypted = plain + std::string(PaddedLength(size) - size, '\0');
        ASSERT_EQ(PanelFileCipher(encrypted, kDecryptEntry), decrypted);
        expect("encrypt-file", plain, encrypted);
        expect("decrypt-file", encrypted, decrypted);
    }
    // The last is mostly broken UTF-8, which TRV.DLL leaves as it is.
    for (const std::string& text :
         {std::string(), std::string("hello\n"),
          std::string("Grüße, 世界 🙂\r\n\tline two, ½ ﬁ \u202E\u202C"),
          [] { // no zero byte, which no text has
              std::string s = test::Pattern(300000, 1);
              std::replace(s.begin(), s.end(), '\0', '\1');
              return s;
          }()}) {
        expect("encrypt-text", text, PanelTextCipher(text, kEncryptEntry));
        expect("decrypt-text", PanelTextCipher(text, kEncryptEntry), text);
    }
}

TEST(CliKeyFiles, RandomKeySavedByTheCommandLoadsInTheWindow) {
    const TempDir dir;
    const auto r = Shell("$Q random-key | tee shown | $Q save-key k --password-fd 0", dir.path());
    EXPECT_EQ(r, Result(0, "", ""));
    const std::string shown = ReadFile(dir / "shown");
    std::string password;
    FileError error;
    EXPECT_EQ(LoadKeyFile((dir / "k").string(), PosixFileLayer(), password, error), KeyLoad::Ok);
    EXPECT_EQ(password + "\n", shown);
    EXPECT_EQ(shown.find_first_not_of(kKeyCharacters), 8u);
}

TEST(CliRefusals, EachGivesItsMessageAndStatusAndChangesNothing) {
    const WindowKeyFile key;
    const std::string noTarget = str::kNoTargetFile, noDll = str::kNoEncryptDll,
                      one = ": source and target are one file.",
                      bin = "mkdir bin && cp $Q bin"; // the program, and no module beside it
    // Shell scripts in a folder holding the file "a": the set-up, the command;
    // then the status and the message, where {} is the folder.
    const std::tuple<std::string, std::string, int, std::string> rows[] = {
        {bin + " && mkdir -p lib/quillmar && cp $B/TRV.DLL lib/quillmar",
         "bin/quillmar encrypt-text --key-file $K </dev/null", 0, ""},
        {bin, "bin/quillmar encrypt-file a b --key-file $K", 1, noDll},
        {bin + " && cp $F/empty/DES.DLL bin", "bin/quillmar decrypt-file a b", 1, str::kNoFunction},
        {"", "$Q encrypt-file none b --key-file $K", 1,
         std::string(str::kNoSourceFile) + " none: No such file or directory."},
        {"", "$Q encrypt-file - a --key-file $K < a", 1, noTarget + " a" + one},
        {"", "$Q encrypt-file a - --key-file $K >> a", 1, noTarget + " -" + one},
        {"", "$Q encrypt-file a none/b -k $K", 1, noTarget + " none/b: No such file or directory."},
        {"", "$Q decrypt-file - a -k $K <&-", 1,
         std::string(str::kNoSourceFile) + " -: standard input is closed."},
        {"", "$Q encrypt-file a - -k $K >&-", 1, noTarget + " -: standard output is closed."},
        {"", "$Q encrypt-text -k $K <a >&-", 1, "Standard output is closed."},
        {"", "$Q random-key >&-", 1, "Standard output is closed."},
        {"", "$Q encrypt-file a b --password-fd 0 <&-", 2,
         "--password-fd 0 names no open descriptor."},
        {"", "$Q encrypt-file a b --key-file a", 2, str::kNotKeyFile},
        {"touch empty", "$Q encrypt-file a b --key-file empty", 2, str::kKeyFileEmpty},
        {"", "$Q decrypt-file a b", 2,
         "No password: give --key-file KEYFILE or --password-fd N, or run quillmar in a "
         "terminal to be asked for it."},
        {"", "echo | $Q encrypt-file a b --password-fd 0", 2, str::kFillPassword},
        {"", "$Q encrypt-file a b --password-fd 99", 2,
         "--password-fd 99 names no open descriptor."},
        // Never one the program opened itself: its source, its signal descriptor.
        {"", "$Q encrypt-file a b --password-fd 4 </dev/null", 2,
         "--password-fd 4 names no open descriptor."},
        {"", "$Q encrypt-file a b/ -k $K", 1, noTarget + " b/: Not a directory."},
        {"", "$Q encrypt-file a /dev/stdout -k $K -f | cat >/dev/null", 0, ""},
        {"head -c 9000 /dev/zero >big", "ulimit -f 4; $Q encrypt-file big b -k $K", 1,
         "Disk full while accessing {}/b. File too large."},
        {"", "$Q encrypt-file \"$(printf 'x\\nEncryption successful finished!')\" b -k $K", 1,
         std::string(str::kNoSourceFile) +
             " x\\nEncryption successful finished!: No such file or directory."},
        {"echo pw >pw && chmod 600 pw && chown nobody pw", "$Q encrypt-file a b --password-file pw",
         2, "{}/pw belongs to nobody, not to you or root, so no password was read from it."},
        {"", "printf 'a\\0b' | $Q encrypt-text --key-file $K", 1,
         "The input holds a zero byte, which no text has: encrypt such data with encrypt-file."},
        {"", "printf %0256d 0 | $Q save-key k --password-fd 0", 1, str::kKeyTooLong},
        {"", "echo pw | $Q save-key none/k --password-fd 0", 1, "{}/none/k was not found."},
        {"", "$Q encrypt-file a", 2,
         "encrypt-file needs SOURCE and TARGET (quillmar --help shows how)"},
        {"", "$Q", 2,
         "no command given (quillmar --help shows how)\nThe window is started as Tessarine."},
    };
    for (auto [setup, command, status, message] : rows) {
        SCOPED_TRACE(command);
        if (setup.find("chown") != std::string::npos && ::geteuid() != 0)
            continue; // another user's file needs root to make

        const TempDir dir;
        ASSERT_EQ(Shell("echo the source >a; " + setup, dir.path()), Result(0, "", ""));
        const auto before = Listing(dir.path());
        if (const auto at = message.find("{}"); at != std::string::npos)
            message.replace(at, 2, dir.path().string());
        EXPECT_EQ(Shell(command, dir.path()),
                  Result(status, "", message.empty() ? "" : "quillmar: " + message + "\n"));
        EXPECT_EQ(Listing(dir.path()), before);
    }
}

// The window's program refuses what it cannot use before it opens a window, and names itself
// after the executable the kernel ran, whatever argv[0] says.
TEST(TessarineCommandLine, RefusesUnknownOptionsAndSecondFilesAndKnowsItsName) {
    const TempDir dir;
    const auto named = Shell("ln -s $B/Tessarine else.exe && ./else.exe --version", dir.path());
    EXPECT_TRUE(std::get<1>(named).starts_with("Tessarine ")) << std::get<1>(named);
    for (const auto& [args, why] : {std::pair{"--bogus", "unknown option --bogus"},
                                    {"a b", "one FILE at most"},
                                    {"\"$(printf -- '-x\\033')\"", "unknown option -x\\033"}}) {
        const std::string run = "chmod 700 .; XDG_RUNTIME_DIR=$PWD QT_QPA_PLATFORM=offscreen "
                                "$B/Tessarine ";
        EXPECT_EQ(
            Shell(run + args, dir.path()),
            Result(2, "", std::string("Tessarine: ") + why + " (Tessarine --help shows how)\n"));
    }
}

TEST(CliPrompt, AsksOnTheTerminalWithoutEchoAndPutsItBackOnEverySignal) {
    const WindowKeyFile key;
    // A job of its own, as from an interactive shell (whose words on a signal
    // are dropped): stopped, it says whether echo is back, then goes on.
    const std::string prompt = "set -m; exec 4>&2 2>/dev/null; (exec $Q encrypt-text 2>&4); s=$?; "
                               "stty -a </dev/tty | grep -ow -- '-\\?echo' >/dev/tty; "
                               "case $s in 14[89] | 150) ;; *) exit $s ;; esac; fg >/dev/null";
    const std::string encrypted = PanelTextCipher("text", kEncryptEntry, "pw"), both = "pw\npw\n",
                      terminal = "quillmar: Standard output is a terminal: redirect it to a file "
                                 "(> FILE) or a pipe (| COMMAND), name a TARGET, or give --force "
                                 "to write the bytes there anyway.\n";
    const std::tuple<std::string, int, std::vector<std::string>, Result> rows[] = {
        // the script, a signal at the first prompt, answers ("\x03" is Ctrl-C), the
        // result; answers not asked for are typed at once, in case the program goes on
        {prompt, 0, {"pw\n", "pw\n"}, {0, encrypted, ""}},
        {prompt, 0, {"pw\n", "px\n"}, {2, "", "quillmar: The two passwords differ.\n"}},
        {prompt, 0, {"p\x03"}, {130, "", ""}},
        {prompt, SIGQUIT, {both}, {128 + SIGQUIT, "", ""}},
        {prompt, SIGALRM, {both}, {128 + SIGALRM, "", ""}},
        {prompt, SIGUSR1, {both}, {128 + SIGUSR1, "", ""}},
        {prompt, SIGUSR2, {both}, {128 + SIGUSR2, "", ""}},
        {prompt, SIGPIPE, {both}, {128 + SIGPIPE, "", ""}},
        {prompt, SIGPROF, {both}, {128 + SIGPROF, "", ""}},
        {prompt, SIGXCPU, {both}, {128 + SIGXCPU, "", ""}},
        {prompt, SIGVTALRM, {both}, {128 + SIGVTALRM, "", ""}},
        {prompt, SIGTSTP, {"pw\n", "pw\n"}, {0, encrypted, ""}},
        {prompt, SIGTTIN, {"pw\n", "pw\n"}, {0, encrypted, ""}},
        {prompt, SIGTTOU, {"pw\n", "pw\n"}, {0, encrypted, ""}},
        {"$Q encrypt-file in - -k $K >/dev/tty", 0, {}, {2, "", terminal}},
        {"$Q encrypt-file -f in - -k $K >/dev/tty", 0, {}, {0, "", ""}},
    };
    for (const auto& [script, signal, answers, expected] : rows) {
        SCOPED_TRACE(script + " " + std::to_string(signal));
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const std::string tty = ::ptsname(master);
        // Kept open here too, so the terminal can be looked at once the program is gone.
        const int slave = ::open(tty.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        Child child(script, {}, "text", tty);
        std::string seen;
        const auto readUntil = [&](const std::string& end) {
            for (char c; !seen.ends_with(end) && ::read(master, &c, 1) == 1;)
                seen += c;
            return seen.ends_with(end);
        };
        termios t{};
        for (std::size_t i = 0; i < answers.size(); ++i) {
            ASSERT_TRUE(readUntil(i == 0 ? "Password: " : "Repeat password: ")) << seen;
            if (i == 0 && signal)
                ::kill(-::tcgetpgrp(master), signal);
            if (i == 0 && signal && std::get<0>(expected) == 0) { // it stopped, and goes on
                EXPECT_TRUE(readUntil("echo\r\n") && !seen.ends_with("-echo\r\n")) << seen;
                for (int spins = 0; ::tcgetattr(slave, &t) == 0 && (t.c_lflag & ECHO); ++spins)
                    ASSERT_LT(spins, 10'000'000) << "echo stays on once continued";
            }
            ASSERT_EQ(::write(master, answers[i].data(), answers[i].size()),
                      ssize_t(answers[i].size()));
        }
        EXPECT_EQ(child.Wait(), expected);
        EXPECT_TRUE(::tcgetattr(slave, &t) == 0 && (t.c_lflag & ECHO)); // echo is back on
        EXPECT_EQ(seen.find("pw"), std::string::npos) << "echoed: " << seen;
        ::close(slave);
        ::close(master);
    }
}

// The one progress text of the window and the command line, and how quillmar shows it.
TEST(CliProgress, PercentMiBRateAndTimeLeftAsTheWindowSaysThemRedrawnOnATerminal) {
    constexpr std::uint64_t MiB = 1 << 20;
    const std::tuple<std::uint64_t, std::uint64_t, double, std::string> rows[] = {
        {128 * MiB, 256 * MiB, 2, "50 %  128/256 MiB  64 MiB/s  2 s left"},
        {MiB, 1024 * MiB, 1, "0 %  1/1024 MiB  1 MiB/s  18 min left"},
        {256 * MiB, 256 * MiB, 2, "100 %  256/256 MiB  128 MiB/s"},
        {3 * MiB, 0, 0, "3 MiB"}, // a stream, at once
    };
    for (const auto& [done, total, seconds, text] : rows)
        EXPECT_EQ(DescribeProgress(done, total, seconds), text);
    EXPECT_EQ(ProgressText(ProgressStyle::Redrawn, 3 * MiB, 0, 0), "\rquillmar: 3 MiB\033[K");
}

// What Tessarine FILE offers as the target: .qx added, or taken off in any case, but never
// leaving a name empty or a folder's.
TEST(ProposedTarget, AddsOrRemovesQxAndNeverProposesAnEmptyName) {
    const std::pair<const char*, const char*> rows[] = {
        {"/d/a.pdf", "/d/a.pdf.qx"}, {"/d/a.pdf.qx", "/d/a.pdf"}, {"/d/a.QX", "/d/a"},
        {"/d/.qx", "/d/.qx.qx"},     {"/d/..qx", "/d/..qx.qx"},   {"a.qx.d/b", "a.qx.d/b.qx"}};
    for (const auto& [source, target] : rows)
        EXPECT_EQ(ProposedTarget(source), target) << source;
}

TEST(CliSignals, StopMidStreamLeavesTheTargetAsItWas) {
    const WindowKeyFile key;
    const TempDir dir;
    ASSERT_EQ(Shell("echo the old target >target && mkfifo pipe", dir.path()), Result(0, "", ""));
    const auto before = Listing(dir.path());
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        Child child("exec $Q encrypt-file - target --key-file $K <pipe", dir.path());
        const int input = ::open((dir / "pipe").c_str(), O_WRONLY | O_CLOEXEC);
        // Once this much is taken it is inside the block loop; the input never ends.
        const std::string data = test::Pattern(4 << 20, 2);
        ASSERT_EQ(::write(input, data.data(), data.size()), ssize_t(data.size()));
        ::kill(child.pid, signal);
        EXPECT_EQ(child.Wait(), Result(status, "", ""));
        ::close(input);
        EXPECT_EQ(Listing(dir.path()), before);
    }
}

} // namespace quillmar::cli
