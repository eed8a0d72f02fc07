// quillmar from outside: the built program run by a shell through pipes, a
// pseudo-terminal and signals, against the file panel's block loop, the
// window's key files and the real cipher modules. Parsing and password
// reading are called directly.
#include "CommandLine.h"
#include "Password.h"
#include "blockloop/BlockCipher.h"
#include "crypto/CipherModules.h"
#include "crypto/KeyFile.h"
#include "crypto/RandomKey.h"
#include "res/Strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <random>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace quillmar;
using namespace quillmar::cli;
namespace fs = std::filesystem;

namespace {

const fs::path kBuild = QUILLMAR_OUTPUT_DIR;
const std::string kPassword = "Sesam, öffne dich!";

struct TempDir {
    TempDir() {
        std::string templ = (fs::temp_directory_path() / "quillmar-cli-XXXXXX").string();
        path = ::mkdtemp(templ.data());
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path operator/(const std::string& name) const { return path / name; }
    fs::path path;
};

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const fs::path& p, const std::string& data) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << data;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = char(gen());
    return s;
}

// Every name under a folder, hidden ones too, with its mode, size and a hash.
std::map<std::string, std::string> Listing(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string content = e.is_regular_file() ? ReadFile(e.path()) : "";
        entries[fs::relative(e.path(), dir).string()] =
            std::to_string(int(fs::symlink_status(e.path()).permissions())) + " " +
            std::to_string(content.size()) + " #" +
            std::to_string(std::hash<std::string>()(content));
    }
    return entries;
}

// A key file as the window's Save Key writes it, named in $K for the shell.
struct WindowKeyFile {
    WindowKeyFile() {
        KeyRecord record;
        EXPECT_TRUE(MakeKeyRecord(kPassword, record));
        WriteFile(path, std::string(record.bytes.begin(), record.bytes.end()));
        ::setenv("K", path.c_str(), 1);
    }
    TempDir dir;
    fs::path path = dir / "window.key";
};

struct Result {
    int status = -1; // the exit status, or 128 and the signal
    std::string out, err;
};

// A shell script in its own session, so with no terminal but tty, if given.
// $Q is the built quillmar, $B the build folder, $F the test modules' folder.
// Standard input, output and error are files; pipes are the script's own.
struct Child {
    Child(const std::string& script, const fs::path& cwd, const std::string& input = {},
          const std::string& tty = {}) {
        ::setenv("Q", (kBuild / "quillmar").c_str(), 1);
        ::setenv("B", kBuild.c_str(), 1);
        ::setenv("F", QUILLMAR_FAKE_MODULE_DIR, 1);
        WriteFile(scratch / "in", input);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        if (!tty.empty()) {
            // Opened after setsid: it becomes the controlling terminal.
            posix_spawn_file_actions_addopen(&fa, 3, tty.c_str(), O_RDWR, 0);
            posix_spawn_file_actions_addclose(&fa, 3);
        }
        posix_spawn_file_actions_addopen(&fa, 0, (scratch / "in").c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, (scratch / "out").c_str(), O_WRONLY | O_CREAT,
                                         0600);
        posix_spawn_file_actions_addopen(&fa, 2, (scratch / "err").c_str(), O_WRONLY | O_CREAT,
                                         0600);
        posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
        const char* argv[] = {"sh", "-c", script.c_str(), nullptr};
        EXPECT_EQ(::posix_spawn(&pid, "/bin/sh", &fa, &attr, const_cast<char**>(argv), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
    }

    Result Wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return {code, ReadFile(scratch / "out"), ReadFile(scratch / "err")};
    }

    TempDir scratch;
    pid_t pid = -1;
};

Result Shell(const std::string& script, const fs::path& cwd, const std::string& input = {}) {
    return Child(script, cwd, input).Wait();
}

// The window's file panel code with the real DES.DLL.
std::string PanelFileCipher(const std::string& data, const char* entry) {
    TempDir dir;
    WriteFile(dir / "in", data);
    const CModule module(kFileModule, entry, {kBuild});
    const auto outcome = RunBlockCipher((dir / "in").string(), (dir / "out").string(),
                                        kPassword.c_str(), module.Entry(), {}, PosixFileLayer());
    EXPECT_EQ(outcome.kind, BlockOutcome::Kind::Success);
    return ReadFile(dir / "out");
}

// The text panel's call into TRV.DLL.
std::string PanelTextCipher(std::string text, const char* entry,
                            const std::string& password = kPassword) {
    const CModule module(kTextModule, entry, {kBuild});
    module.Entry()(text.data(), password.c_str(), std::int32_t(text.size()));
    return text;
}

std::string Describe(const ParsedCommandLine& parsed) {
    if (!parsed.error.empty())
        return "error: " + parsed.error;
    const char* names[] = {"help",         "version",      "encrypt-file", "decrypt-file",
                           "encrypt-text", "decrypt-text", "random-key",   "save-key"};
    const CommandLine& l = parsed.line;
    const PasswordSource& p = l.password;
    std::ostringstream d;
    d << names[int(l.command)] << " [" << l.source << "] [" << l.target << "] [" << l.keyFile
      << "] "
      << (p.kind == PasswordSource::Kind::KeyFile      ? "key " + p.keyFile
          : p.kind == PasswordSource::Kind::Descriptor ? "fd " + std::to_string(p.fd)
                                                       : "prompt")
      << (l.quiet ? " quiet" : "");
    return d.str();
}

TEST(CliCommandLine, SortsArgumentsAndRefusesWhatMakesNoSense) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"encrypt-file", "a", "b"}, "encrypt-file [a] [b] [] prompt"},
        {{"decrypt-file", "--key-file", "k", "-", "-"}, "decrypt-file [-] [-] [] key k"},
        {{"encrypt-text", "--password-fd=3", "--quiet"}, "encrypt-text [] [] [] fd 3 quiet"},
        {{"encrypt-file", "a", "b", "--password-fd", "0"}, "encrypt-file [a] [b] [] fd 0"},
        {{"encrypt-file", "--", "-x", "--help"}, "encrypt-file [-x] [--help] [] prompt"},
        {{"encrypt"}, "error: unknown command 'encrypt'"},
        {{"encrypt-file", "a"}, "error: encrypt-file needs SOURCE and TARGET"},
        {{"encrypt-text", "--password", "pw"},
         "error: '--password' is not an option of encrypt-text"},
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

TEST(CliPassword, DescriptorGivesItsFirstLineIfTheWindowCouldTakeIt) {
    const std::string fill = str::kFillPassword, max(kPasswordMax, 'x');
    struct Row {
        std::string input, password, message, left = {};
    };
    const Row rows[] = {
        {"secret\nnext", "secret", "", "next"},
        {"no newline", "no newline", ""},
        {max, max, ""},
        {max + "x", "", "The password is longer than 32767 bytes."},
        {"", "", fill},
        {std::string("a\0b", 3), "",
         "The password holds a zero byte, which ends it for the cipher modules."},
        {"caf\xE9", "", "The password is not UTF-8 text, which the window's password field needs."},
    };
    for (const Row& row : rows) {
        int p[2];
        ASSERT_EQ(::pipe(p), 0);
        ASSERT_EQ(::write(p[1], row.input.data(), row.input.size()), ssize_t(row.input.size()));
        ::close(p[1]);
        std::string password = "stale", left(8, '\0');
        const auto r =
            ObtainPassword({PasswordSource::Kind::Descriptor, {}, p[0]}, false, -1, password);
        left.resize(std::size_t(std::max<ssize_t>(0, ::read(p[0], left.data(), left.size()))));
        ::close(p[0]);
        EXPECT_EQ(r.status, row.message.empty() ? PasswordStatus::Ok : PasswordStatus::Refused);
        EXPECT_EQ(std::tie(r.message, password, left),
                  std::tie(row.message, row.password, row.left));
    }
    std::string password;
    EXPECT_EQ(ReadPasswordFromDescriptor(99, -1, password).message,
              "--password-fd 99 names no open descriptor.");
}

TEST(CliPassword, KeyFileIsReadAndRefusedAsLoadKeyDoes) {
    const auto record = [](const std::string& password) {
        std::string r(kKeyRecordSize, '\0');
        return r.replace(0, 3, "QXP").replace(kKeyPasswordOffset, password.size(), password);
    };
    const TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0); // nobody writes: empty at once
    const std::string none = (dir / "none").string();
    const std::tuple<std::string, std::string, std::string> rows[] = {
        // file, content written there first, the message
        {dir / "k", record(kPassword) + "ignored tail", ""},
        {dir / "k", "", str::kKeyFileEmpty},
        {dir / "k", std::string("QXQ\0", 4), str::kNotKeyFile},
        {dir / "k", record(""), str::kFillPassword},
        {dir / "k", record("caf\xE9"), str::kKeyNotLoadable},
        {none, "", none + " was not found."},
        {dir / "fifo", "", str::kKeyFileEmpty},
    };
    for (const auto& [file, content, message] : rows) {
        if (file.ends_with("/k"))
            WriteFile(file, content);
        std::string password;
        EXPECT_EQ(ReadPasswordFromKeyFile(file, password).message, message);
        EXPECT_EQ(password, message.empty() ? kPassword : "");
    }
}

TEST(CliFormats, SameBytesAsThePanelsThroughFilesAndPipes) {
    const WindowKeyFile key;
    const TempDir dir;
    for (std::size_t size : {0, 1, 8, 511, 512, 513, 65536 * 3 + 100}) {
        SCOPED_TRACE(size);
        const std::string plain = RandomBytes(size, unsigned(size));
        const std::string encrypted = PanelFileCipher(plain, kEncryptEntry);
        const std::string decrypted = PanelFileCipher(encrypted, kDecryptEntry);
        ASSERT_EQ(decrypted, plain + std::string(PaddedLength(size) - size, '\0'));
        WriteFile(dir / "plain", plain);
        WriteFile(dir / "encrypted", encrypted);
        EXPECT_EQ(Shell("$Q encrypt-file plain out --key-file $K", dir.path).status, 0);
        EXPECT_EQ(ReadFile(dir / "out"), encrypted);
        EXPECT_EQ(Shell("$Q decrypt-file encrypted out --key-file $K", dir.path).status, 0);
        EXPECT_EQ(ReadFile(dir / "out"), decrypted);
        EXPECT_EQ(Shell("cat | $Q encrypt-file - - --key-file $K | cat", dir.path, plain).out,
                  encrypted);
        EXPECT_EQ(Shell("cat | $Q decrypt-file - - --key-file $K | cat", dir.path, encrypted).out,
                  decrypted);
    }
    // The last is mostly broken UTF-8, which TRV.DLL leaves as it is.
    std::string random = RandomBytes(300000, 1);
    std::replace(random.begin(), random.end(), '\0', ' ');
    for (const std::string& text :
         {std::string(), std::string("hello\n"),
          std::string("Grüße, 世界 🙂\r\n\tline two, ½ ﬁ \u202E\u202C"), random}) {
        SCOPED_TRACE(text.substr(0, 20));
        const Result encrypted = Shell("$Q encrypt-text --key-file $K", dir.path, text);
        EXPECT_EQ(encrypted.status, 0) << encrypted.err;
        EXPECT_EQ(encrypted.out, PanelTextCipher(text, kEncryptEntry));
        EXPECT_EQ(Shell("$Q decrypt-text --key-file $K", dir.path, encrypted.out).out, text);
    }
}

TEST(CliKeyFiles, RandomKeySavedByTheCommandLoadsInTheWindow) {
    const TempDir dir;
    // An old key file anyone could read is replaced by one only its owner reads.
    WriteFile(dir / "k", "old");
    ::chmod((dir / "k").c_str(), 0644);
    const Result r = Shell("$Q random-key | tee shown | $Q save-key k --password-fd 0", dir.path);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string shown = ReadFile(dir / "shown"), file = ReadFile(dir / "k");
    ASSERT_EQ(shown.size(), 9u);
    EXPECT_EQ(shown.find_first_not_of(kKeyCharacters), 8u);
    std::string password;
    const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
    EXPECT_EQ(ReadKeyRecord(std::span(bytes, file.size()), password), KeyReadResult::Ok);
    EXPECT_EQ(password + "\n", shown);
    EXPECT_EQ(file.size(), kKeyRecordSize);
    EXPECT_EQ(fs::status(dir / "k").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(CliRefusals, EachGivesItsMessageAndStatusAndChangesNothing) {
    const WindowKeyFile key;
    const std::string noTarget = str::kNoTargetFile, noDll = str::kNoEncryptDll;
    struct Row {
        std::string setup, command; // shell scripts in a folder holding the file "a"
        int status;
        std::string err; // {} is the folder
    };
    const Row rows[] = {
        {"mkdir bin lib lib/quillmar && cp $Q bin && cp $B/TRV.DLL lib/quillmar",
         "bin/quillmar encrypt-text --key-file $K </dev/null", 0, ""},
        {"mkdir bin && cp $Q bin", "bin/quillmar encrypt-file a b --key-file $K", 1, noDll},
        {"mkdir bin && cp $Q bin", "bin/quillmar decrypt-text --key-file $K", 1,
         str::kNoDecryptDll},
        {"mkdir bin && cp $Q bin && cp $B/DES.DLL .", "bin/quillmar encrypt-file a b --key-file $K",
         1, noDll},
        {"mkdir bin && cp $Q $F/empty/DES.DLL bin", "bin/quillmar decrypt-file a b", 1,
         str::kNoFunction},
        {"", "$Q encrypt-file none b --key-file $K", 1, str::kNoSourceFile},
        {"mkdir sub", "$Q encrypt-file a sub/../a --key-file $K", 1, noTarget},
        {"ln -s a link", "$Q encrypt-file a link --key-file $K", 1, noTarget},
        {"", "$Q encrypt-file - a --key-file $K < a", 1, noTarget},
        {"", "$Q encrypt-file a - --key-file $K >> a", 1, noTarget},
        {"", "$Q encrypt-file a none/b --key-file $K", 1, noTarget},
        {"", "$Q encrypt-file a b --key-file a", 2, str::kNotKeyFile},
        {"touch empty", "$Q encrypt-file a b --key-file empty", 2, str::kKeyFileEmpty},
        {"", "$Q decrypt-file a b", 2,
         "No password: give --key-file KEYFILE or --password-fd N, or run quillmar in a "
         "terminal to be asked for it."},
        {"", "echo | $Q encrypt-file a b --password-fd 0", 2, str::kFillPassword},
        {"", "printf 'a\\0b' | $Q encrypt-text --key-file $K", 1,
         "The input holds a zero byte, which no text has: encrypt such data with encrypt-file."},
        {"", "printf %0256d 0 | $Q save-key k --password-fd 0", 1, str::kKeyTooLong},
        {"", "echo pw | $Q save-key none/k --password-fd 0", 1, "{}/none/k was not found."},
        {"", "$Q encrypt-file a", 2,
         "encrypt-file needs SOURCE and TARGET (quillmar --help shows how)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        const TempDir dir;
        WriteFile(dir / "a", "the source");
        ASSERT_EQ(Shell(row.setup, dir.path).status, 0);
        const auto before = Listing(dir.path);
        const Result r = Shell(row.command, dir.path);
        std::string err = row.err;
        if (err.starts_with("{}"))
            err.replace(0, 2, dir.path.string());
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_EQ(r.err, err.empty() ? "" : "quillmar: " + err + "\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Listing(dir.path), before);
    }
}

TEST(CliPrompt, AsksOnTheTerminalWithoutEcho) {
    const std::pair<std::vector<std::string>, Result> rows[] = {
        // answers ("\x03" is Ctrl-C), then the status, what is shown and what is said
        {{"pw\n", "pw\n"}, {0, PanelTextCipher("text", kEncryptEntry, "pw"), ""}},
        {{"pw\n", "px\n"}, {2, "", "quillmar: The two passwords differ.\n"}},
        {{"p\x03"}, {130, "", ""}},
    };
    for (const auto& [answers, expected] : rows) {
        const TempDir dir;
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const std::string tty = ::ptsname(master);
        // Kept open here too, so the terminal can be looked at once the program is gone.
        const int slave = ::open(tty.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        Child child("exec $Q encrypt-text", dir.path, "text", tty);
        std::string seen;
        for (std::size_t i = 0; i < answers.size(); ++i) {
            const std::string prompt = i == 0 ? "Password: " : "Repeat password: ";
            for (char c; !seen.ends_with(prompt) && ::read(master, &c, 1) == 1;)
                seen += c;
            ASSERT_TRUE(seen.ends_with(prompt)) << seen;
            ASSERT_EQ(::write(master, answers[i].data(), answers[i].size()),
                      ssize_t(answers[i].size()));
        }
        const Result r = child.Wait();
        EXPECT_EQ(std::tie(r.status, r.out, r.err),
                  std::tie(expected.status, expected.out, expected.err));
        termios t{};
        EXPECT_EQ(::tcgetattr(slave, &t), 0);
        EXPECT_TRUE(t.c_lflag & ECHO);
        EXPECT_EQ(seen.find("pw"), std::string::npos) << "echoed: " << seen;
        ::close(slave);
        ::close(master);
    }
}

TEST(CliSignals, StopMidStreamLeavesTheTargetAsItWas) {
    const WindowKeyFile key;
    const TempDir dir, feed;
    WriteFile(dir / "target", "the old target");
    const auto before = Listing(dir.path);
    const std::string pipe = (feed / "pipe").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        Child child("exec $Q encrypt-file - target --key-file $K < " + pipe, dir.path);
        const int input = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
        // Once this much is taken it is inside the block loop; the input never ends.
        const std::string data = RandomBytes(4 << 20, 2);
        ASSERT_EQ(::write(input, data.data(), data.size()), ssize_t(data.size()));
        ::kill(child.pid, signal);
        const Result r = child.Wait();
        ::close(input);
        EXPECT_EQ(std::tie(r.status, r.err), std::tie(status, ""));
        EXPECT_EQ(Listing(dir.path), before);
    }
}

} // namespace
