// File encryption throughput and memory, one file, same run. Encrypts and
// decrypts it with the real DES.DLL through the plain block loop, through the
// pipeline the file panel uses (one worker per core) and through `quillmar
// encrypt-file`/`decrypt-file`; the same through a stand-in module whose
// cipher costs nothing (bench/fast_module.cpp), which shows the most the
// loops can reach on this disk; and beside them `cp` + `sync`, `openssl enc
// -des-cbc` (same key and IV; openssl chains over the whole file, which does
// not matter for throughput) and, when it is installed, `gpg --symmetric`
// with AES-256. First, where the time goes: reading the source, writing the
// target and flushing it, a copy and a wipe in memory, each on its own; then,
// for the pipeline, the time inside its file and module calls. Last, the peak
// resident memory of both loops for a 1 MiB and a large file, each in a fresh
// process.
// Usage: file_bench [MiB=256] [rounds=3]; each time is the best of the rounds.

#include "blockloop/BlockPipeline.h"
#include "operations/Binding.h"
#include "operations/FilePair.h"
#include "platform/os/FileStreams.h"
#include "platform/os/Module.h"
#include "platform/os/Wipe.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace quillmar;

namespace {

constexpr char kPassword[] = "password";
// What DES.DLL derives from "password".
constexpr char kKeyHex[] = "a42038579e8cad6e";
constexpr char kIvHex[] = "69b1e82151115a66";

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "file_bench: %s\n", what.c_str());
    std::exit(1);
}

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::unique_ptr<CModule> Bind(const std::string& dir, bool encrypt) {
    const CipherChoice choice = FileModuleFor(encrypt);
    auto module = std::make_unique<CModule>(choice.module, choice.entry,
                                            std::vector<std::filesystem::path>{dir});
    if (module->GetStatus() != CModule::Status::Bound)
        Fail("cannot bind DES.DLL in " + dir);
    return module;
}

void MakeSource(const std::string& path, std::size_t size) {
    std::vector<char> chunk(std::size_t{1} << 20);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::size_t done = 0, k = 0; done < size; done += chunk.size(), ++k) {
        for (std::size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = char(i * 131 + (i >> 9) + k);
        out.write(chunk.data(), std::streamsize(std::min(chunk.size(), size - done)));
    }
    if (!out.flush())
        Fail("cannot write " + path);
}

// Where a loop's time went, summed over its threads: inside the file layer's reads, writes and
// commit, and inside the module.
struct Spent {
    double read = 0, write = 0, commit = 0, module = 0;
};

enum { kRead, kWrite, kCommit, kModule };
std::atomic<long> g_ns[4];
BlockEntries g_timed{nullptr}; // the module's own entries, called through the two below

template <class Call> auto Timed(int what, Call call) {
    const auto start = Clock::now();
    const auto result = call();
    g_ns[what] +=
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    return result;
}
void TimedBlock(char* data, const char* key, std::int32_t length) {
    Timed(kModule, [&] { return g_timed.block(data, key, length), 0; });
}
void TimedBatch(char* data, const char* key, std::int32_t length) {
    Timed(kModule, [&] { return g_timed.batch(data, key, length), 0; });
}

// The real file layer, each call timed.
class TimedLayer : public FileLayer {
    struct Reader : ByteReader {
        std::unique_ptr<ByteReader> inner;
        std::optional<std::size_t> Read(char* data, std::size_t size, FileError& error) override {
            return Timed(kRead, [&] { return inner->Read(data, size, error); });
        }
        std::optional<FileIdentity> Identity() const override { return inner->Identity(); }
        void CancelWith(const std::atomic<bool>* cancel) override { inner->CancelWith(cancel); }
    };
    struct Writer : ByteWriter {
        std::unique_ptr<ByteWriter> inner;
        bool Write(const char* data, std::size_t size, FileError& error) override {
            return Timed(kWrite, [&] { return inner->Write(data, size, error); });
        }
        bool Commit(FileError& error) override {
            return Timed(kCommit, [&] { return inner->Commit(error); });
        }
    };

public:
    std::unique_ptr<ByteReader> OpenRead(const std::string& path, Reading reading,
                                         FileError& error) override {
        auto reader = std::make_unique<Reader>();
        reader->inner = PosixFileLayer().OpenRead(path, reading, error);
        return reader->inner ? std::move(reader) : nullptr;
    }
    std::unique_ptr<ByteWriter> OpenReplace(const std::string& path, Readers readers,
                                            FileError& error) override {
        auto writer = std::make_unique<Writer>();
        writer->inner = PosixFileLayer().OpenReplace(path, readers, error);
        return writer->inner ? std::move(writer) : nullptr;
    }
};

// Workers 0: the plain loop; otherwise the pipeline with that many workers. With spent, each
// file call and module call is timed.
bool RunLoop(const CModule& module, const std::string& source, const std::string& target,
             unsigned workers, Spent* spent = nullptr) {
    TimedLayer timedLayer;
    BlockFiles files;
    if (OpenBlockFiles(source, target, spent ? timedLayer : PosixFileLayer(), files).kind !=
        BlockOutcome::Kind::Success)
        return false;
    BlockEntries entries{module.Entry(), module.BatchEntry()};
    if (spent) {
        g_timed = entries;
        entries = {TimedBlock, entries.batch ? TimedBatch : nullptr};
        for (auto& ns : g_ns)
            ns = 0;
    }
    const auto outcome =
        workers == 0 ? RunBlockCipher(files, kPassword, entries)
                     : RunBlockPipeline(files, kPassword, entries, {}, {.workers = workers});
    if (spent)
        *spent = {g_ns[kRead] / 1e9, g_ns[kWrite] / 1e9, g_ns[kCommit] / 1e9, g_ns[kModule] / 1e9};
    return outcome.kind == BlockOutcome::Kind::Success;
}

double TimeLoop(const CModule& module, const std::string& source, const std::string& target,
                unsigned workers, Spent* spent = nullptr) {
    const auto start = Clock::now();
    if (!RunLoop(module, source, target, workers, spent))
        Fail("block loop failed on " + source);
    return Since(start);
}

// Reading the source on its own, as the pipeline's reader does.
double TimeRead(const std::string& source) {
    const auto start = Clock::now();
    FileError error;
    const auto reader = PosixFileLayer().OpenRead(source, Reading::Data, error);
    const auto buffer = std::make_unique<char[]>(kFileChunk);
    for (std::optional<std::size_t> n;
         reader && (n = reader->Read(buffer.get(), kFileChunk, error));)
        if (*n == 0)
            return Since(start);
    Fail("cannot read " + source);
}

// Writing size bytes into a new target as the pipeline's writer does, then
// the commit that flushes them: both times.
std::pair<double, double> TimeWrite(const std::string& target, std::size_t size) {
    const auto start = Clock::now();
    FileError error;
    const auto writer = PosixFileLayer().OpenReplace(target, Readers::AsBefore, error);
    const auto buffer = std::make_unique<char[]>(kFileChunk);
    std::memset(buffer.get(), 0x5a, kFileChunk);
    for (std::size_t done = 0; writer && done < size; done += kFileChunk)
        if (!writer->Write(buffer.get(), std::min(kFileChunk, size - done), error))
            Fail("cannot write " + target);
    const double written = Since(start);
    if (!writer || !writer->Commit(error))
        Fail("cannot commit " + target);
    return {written, Since(start) - written};
}

// One pass over size bytes in memory, 256 KiB at a time, as the loops make none and the
// pipeline's writer makes one: a copy, and a wipe. Both times.
std::pair<double, double> TimeMemoryPasses(std::size_t size) {
    const auto from = std::make_unique<char[]>(kFileChunk), to = std::make_unique<char[]>(size);
    std::memset(from.get(), 0x5a, kFileChunk);
    std::memset(to.get(), 0, size); // its pages exist before the clock starts
    auto start = Clock::now();
    for (std::size_t at = 0; at < size; at += kFileChunk)
        std::memcpy(to.get() + at, from.get(), std::min(kFileChunk, size - at));
    const double copied = Since(start);
    start = Clock::now();
    for (std::size_t at = 0; at < size; at += kFileChunk)
        SecureWipe(to.get() + at, std::min(kFileChunk, size - at));
    return {copied, Since(start)};
}

// The child's exit status.
int Spawn(std::vector<std::string> args, const char* stdoutPath = nullptr,
          const char* stdinPath = nullptr) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutPath)
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath, O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    if (stdinPath)
        posix_spawn_file_actions_addopen(&actions, 0, stdinPath, O_RDONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        Fail("cannot start " + args[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The loops' target is flushed to disk before it replaces the old file; the
// same is asked of the other tools' output, so all times cover a durable file.
double TimeTool(const std::vector<std::string>& command, const std::string& target,
                const char* stdinPath = nullptr) {
    const auto start = Clock::now();
    if (Spawn(command, nullptr, stdinPath) != 0)
        Fail(command[0] + " failed");
    const int fd = ::open(target.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0)
        Fail("cannot flush " + target);
    ::close(fd);
    return Since(start);
}

double WithOpenssl(bool encrypt, const std::string& source, const std::string& target) {
    std::vector<std::string> command{
        "openssl", "enc",   "-des-cbc", "-nopad", "-provider", "legacy", "-provider", "default",
        "-K",      kKeyHex, "-iv",      kIvHex,   "-in",       source,   "-out",      target};
    if (!encrypt)
        command.insert(command.begin() + 2, "-d");
    return TimeTool(command, target);
}

double WithGpg(bool encrypt, const std::string& home, const std::string& source,
               const std::string& target) {
    std::vector<std::string> command{
        "gpg",      "--homedir",    home,      "--batch", "--yes", "--quiet", "--pinentry-mode",
        "loopback", "--passphrase", kPassword, "-o",      target};
    if (encrypt)
        command.insert(command.end(),
                       {"--symmetric", "--cipher-algo", "AES256", "--compress-algo", "none"});
    else
        command.push_back("--decrypt");
    command.push_back(source);
    return TimeTool(command, target);
}

// quillmar as installed: the program with the module beside it, the password on its standard
// input.
std::vector<std::string> CliCommand(const std::string& quillmar, bool encrypt,
                                    const std::string& source, const std::string& target) {
    return {
        quillmar, encrypt ? "encrypt-file" : "decrypt-file", source, target, "--password-fd", "0",
        "--quiet"};
}

bool HaveProgram(const char* name) {
    return Spawn({"sh", "-c", std::string("command -v ") + name + " >/dev/null"}) == 0;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Head(const std::string& path, std::size_t n) {
    std::string s(n, '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(s.data(), std::streamsize(n));
    s.resize(std::size_t(in.gcount()));
    return s;
}

long PeakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// In a fresh process, so that nothing of the parent counts. (A child's own
// count of its peak would include its parent's, which it started as.)
long PeakOfChild(const std::string& self, const std::string& dir, std::size_t size,
                 unsigned workers, const std::string& moduleDir) {
    const std::string source = dir + "/peak-source", target = dir + "/peak-target";
    const std::string report = dir + "/peak-report";
    MakeSource(source, size);
    if (Spawn({self, "--peak", source, target, std::to_string(workers), moduleDir},
              report.c_str()) != 0)
        Fail("peak measurement failed");
    long kib = -1;
    std::ifstream in(report);
    in >> kib;
    for (const auto& f : {source, target, report})
        std::remove(f.c_str());
    return kib;
}

int MeasurePeak(const char* source, const char* target, unsigned workers, const char* moduleDir) {
    const auto module = Bind(moduleDir, true);
    if (!RunLoop(*module, source, target, workers))
        return 1;
    std::printf("%ld\n", PeakKiB());
    return 0;
}

// One way of doing the job, its best times in both directions.
struct Row {
    std::string name;
    double time[2] = {1e100, 1e100}; // encrypt, decrypt
    Spent spent[2] = {};             // in the best run, for the loops that are timed inside
};

// The ways, each module's plain loop, pipeline and quillmar side by side.
enum { kLoop, kPipeline, kCli, kFastLoop, kFastPipeline, kFastCli, kOpenssl, kGpg, kCount };
constexpr const char* kNames[kCount] = {"loop",     "pipeline", "cli",     "fastloop",
                                        "fastpipe", "fastcli",  "openssl", "gpg"};

// What every step shares: the run's size and rounds, and its folder with the files in it.
struct Bench {
    std::size_t mib, size;
    int rounds;
    unsigned workers;
    std::string dir, source = dir + "/source", copy = dir + "/copy", gpgHome = dir + "/gnupg",
                     passwordFile = dir + "/password", fastDir = dir + "/fast";
    bool gpg = false;
    // Each row's encrypted file, the input of its decryption.
    std::string Out(int row, bool encrypt) const {
        return dir + "/" + kNames[row] + (encrypt ? ".enc" : ".dec");
    }
};

// The best of the rounds: each part of the job on its own, then each way of doing it.
struct Times {
    double read = 1e100, write = 1e100, flush = 1e100, cp = 1e100, copyPass = 1e100,
           wipePass = 1e100;
    Row rows[kCount] = {{"plain loop + DES.DLL"}, {"pipeline + DES.DLL"},
                        {"quillmar + DES.DLL"},   {"plain loop + stand-in"},
                        {"pipeline + stand-in"},  {"quillmar + stand-in"},
                        {"openssl enc -des-cbc"}, {"gpg --symmetric AES256"}};
};

// A fresh folder with the source, quillmar's password, gpg's own home (the user's stays untouched).
Bench SetUp(std::size_t mib, int rounds) {
    char dirTemplate[] = "/tmp/quillmar-file-bench-XXXXXX";
    if (!::mkdtemp(dirTemplate))
        Fail("cannot make a folder under /tmp");
    Bench b{mib, mib << 20, rounds, DefaultWorkerCount(), dirTemplate};
    MakeSource(b.source, b.size);
    {
        std::ofstream pw(b.passwordFile);
        pw << kPassword << "\n";
    }
    b.gpg = HaveProgram("gpg");
    if (b.gpg && ::mkdir(b.gpgHome.c_str(), 0700) != 0)
        Fail("cannot make " + b.gpgHome);
    // quillmar takes the module from its own folder: a copy of it beside the stand-in.
    std::filesystem::create_directory(b.fastDir);
    std::filesystem::copy_file(QUILLMAR_OUTPUT_DIR "/quillmar", b.fastDir + "/quillmar");
    std::filesystem::copy_file(QUILLMAR_FAST_MODULE_DIR "/DES.DLL", b.fastDir + "/DES.DLL");
    return b;
}

// The best of the rounds, as other work on the machine only ever slows one down.
Times TimeRounds(const Bench& b) {
    const std::unique_ptr<CModule> des[2] = {Bind(QUILLMAR_OUTPUT_DIR, true),
                                             Bind(QUILLMAR_OUTPUT_DIR, false)};
    const std::unique_ptr<CModule> fast[2] = {Bind(b.fastDir, true), Bind(b.fastDir, false)};
    // The key derivation is the module's one-off cost; openssl is handed the key.
    char warm[8] = {};
    des[0]->Entry()(warm, kPassword, sizeof warm);
    Times t;
    for (int r = 0; r < b.rounds; ++r) {
        const auto [copied, wiped] = TimeMemoryPasses(b.size);
        t.copyPass = std::min(t.copyPass, copied), t.wipePass = std::min(t.wipePass, wiped);
        t.read = std::min(t.read, TimeRead(b.source));
        const auto [w, f] = TimeWrite(b.copy, b.size);
        if (w + f < t.write + t.flush)
            t.write = w, t.flush = f;
        t.cp = std::min(t.cp, TimeTool({"cp", b.source, b.copy}, b.copy));
        for (const bool encrypt : {true, false}) {
            const int d = encrypt ? 0 : 1;
            const auto in = [&](int row) { return encrypt ? b.source : b.Out(row, true); };
            const auto to = [&](int row) { return b.Out(row, encrypt); };
            const auto time = [&](int row, double s, const Spent& spent = {}) {
                if (s < t.rows[row].time[d])
                    t.rows[row].time[d] = s, t.rows[row].spent[d] = spent;
            };
            const auto cli = [&](const std::string& quillmar, int row) {
                return TimeTool(CliCommand(quillmar, encrypt, in(row), to(row)), to(row),
                                b.passwordFile.c_str());
            };
            Spent spent;
            time(kLoop, TimeLoop(*des[d], in(kLoop), to(kLoop), 0));
            time(kPipeline, TimeLoop(*des[d], in(kPipeline), to(kPipeline), b.workers, &spent),
                 spent);
            time(kCli, cli(QUILLMAR_OUTPUT_DIR "/quillmar", kCli));
            time(kFastLoop, TimeLoop(*fast[d], in(kFastLoop), to(kFastLoop), 0));
            time(kFastPipeline,
                 TimeLoop(*fast[d], in(kFastPipeline), to(kFastPipeline), b.workers, &spent),
                 spent);
            time(kFastCli, cli(b.fastDir + "/quillmar", kFastCli));
            time(kOpenssl, WithOpenssl(encrypt, in(kOpenssl), to(kOpenssl)));
            if (b.gpg)
                time(kGpg, WithGpg(encrypt, b.gpgHome, in(kGpg), to(kGpg)));
        }
    }
    return t;
}

// A fast way counts only if it writes the same bytes as the plain loop and decrypts back to the
// source; and the plain loop starts from openssl's key and IV: the first 512-byte block agrees.
std::pair<bool, bool> CheckOutputs(const Bench& b) {
    bool same = true;
    const std::string original = ReadWhole(b.source);
    for (const bool encrypt : {true, false})
        for (const int loop : {kLoop, kFastLoop}) { // then that module's pipeline and quillmar
            const std::string expected = ReadWhole(b.Out(loop, encrypt));
            same = same && (encrypt || expected == original);
            for (const int row : {loop + 1, loop + 2})
                same = same && ReadWhole(b.Out(row, encrypt)) == expected;
        }
    return {same, Head(b.Out(kLoop, true), 512) == Head(b.Out(kOpenssl, true), 512)};
}

// The parts on their own first, so that each way's time can be read against them.
void PrintTimes(const Bench& b, const Times& t, bool same, bool sameStart) {
    const auto& [read, write, flush, cp, copyPass, wipePass, rows] = t;
    const auto rate = [&](double s) { return double(b.mib) / s; };
    std::printf("%zu MiB file on %u cores, best of %d (times include flushing to disk)\n", b.mib,
                b.workers, b.rounds);
    std::printf("where the time goes, each on its own\n");
    std::printf("  read the source, 256 KiB reads     %8.2f s  %8.1f MiB/s\n", read, rate(read));
    std::printf("  write a new target, 256 KiB writes %8.2f s  %8.1f MiB/s\n", write, rate(write));
    std::printf("  then flush it (commit)             %8.2f s\n", flush);
    std::printf("  copy it in memory once             %8.2f s  %8.1f MiB/s\n", copyPass,
                rate(copyPass));
    std::printf("  wipe it in memory once             %8.2f s  %8.1f MiB/s\n", wipePass,
                rate(wipePass));
    std::printf("  cp + sync                          %8.2f s  %8.1f MiB/s\n", cp, rate(cp));
    std::printf("%-26s %17s %17s   x cp+sync\n", "", "encrypt", "decrypt");
    for (const Row& row : rows) {
        if (row.time[0] > 1e99)
            continue;
        std::printf("  %-24s", row.name.c_str());
        for (const double s : row.time)
            std::printf(" %6.2f s %6.1f MiB/s", s, rate(s));
        std::printf("  %5.2f %5.2f\n", row.time[0] / cp, row.time[1] / cp);
    }
    std::printf("inside the pipeline, its best run: seconds in reads, writes, the commit and the "
                "module, summed over threads\n");
    for (const int row : {kPipeline, kFastPipeline}) {
        for (const int d : {0, 1}) {
            const Spent& s = rows[row].spent[d];
            std::printf("  %-22s %s  read %6.3f  write %6.3f  commit %6.3f  module %6.3f\n",
                        rows[row].name.c_str(), d == 0 ? "encrypt" : "decrypt", s.read, s.write,
                        s.commit, s.module);
        }
    }
    std::printf("ratios, encrypt / decrypt\n");
    for (const int cli : {kCli, kFastCli}) {
        const Row& q = rows[cli];
        std::printf("  %s\n", q.name.c_str());
        std::printf("    time / cp+sync        %6.2f / %5.2f  (target <= 1.5)\n", q.time[0] / cp,
                    q.time[1] / cp);
        if (b.gpg)
            std::printf("    gpg / it              %6.2f / %5.2f  (target >= 2.5)\n",
                        rows[kGpg].time[0] / q.time[0], rows[kGpg].time[1] / q.time[1]);
        std::printf("    openssl / it          %6.2f / %5.2f\n", rows[kOpenssl].time[0] / q.time[0],
                    rows[kOpenssl].time[1] / q.time[1]);
    }
    std::printf("  pipeline / plain loop, DES.DLL   %6.2f / %5.2f\n",
                rows[kLoop].time[0] / rows[kPipeline].time[0],
                rows[kLoop].time[1] / rows[kPipeline].time[1]);
    std::printf("  same bytes everywhere, round trip %s\n", same ? "yes" : "NO");
    std::printf("  first block as openssl's          %s\n", sameStart ? "yes" : "NO");
}

// Whether both loops keep their memory flat however large the file. The outputs go first, to
// leave the disk to these runs' own files.
void PrintPeaks(const Bench& b, const Times& t) {
    std::filesystem::remove_all(b.gpgHome);
    for (const auto& entry : std::filesystem::directory_iterator(b.dir))
        if (entry.is_regular_file() && entry.path().filename() != "password")
            std::filesystem::remove(entry.path());
    const std::string self = ProgramPath().string();
    std::printf("peak resident memory (VmHWM)  1 MiB file  %4zu MiB file  difference\n", b.mib);
    for (const int row : {kLoop, kPipeline, kFastLoop, kFastPipeline}) {
        const unsigned workers = row == kLoop || row == kFastLoop ? 0 : b.workers;
        const std::string moduleDir = row < kFastLoop ? QUILLMAR_OUTPUT_DIR : b.fastDir;
        const long small = PeakOfChild(self, b.dir, std::size_t{1} << 20, workers, moduleDir);
        const long large = PeakOfChild(self, b.dir, b.size, workers, moduleDir);
        std::printf("  %-25s %8ld KiB  %8ld KiB  %6ld KiB  (target: within 4096)\n",
                    t.rows[row].name.c_str(), small, large, std::labs(large - small));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--peak") == 0)
        return MeasurePeak(argv[2], argv[3], unsigned(std::atoi(argv[4])), argv[5]);
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    if (mib == 0)
        Fail("usage: file_bench [MiB=256] [rounds=3]");
    const Bench bench = SetUp(mib, rounds);
    const Times times = TimeRounds(bench);
    const auto [same, sameStart] = CheckOutputs(bench);
    PrintTimes(bench, times, same, sameStart);
    PrintPeaks(bench, times);
    std::filesystem::remove_all(bench.dir);
    return same && sameStart ? 0 : 1;
}
