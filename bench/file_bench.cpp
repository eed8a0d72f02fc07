// File encryption throughput and memory. Encrypts one file with the real
// DES.DLL through the plain block loop and through the pipeline the file panel
// uses (one worker per core), and the same file with `openssl enc -des-cbc`
// (same key and IV; openssl chains over the whole file, which does not matter
// for throughput), through `quillmar encrypt-file`, and, when it is installed,
// `gpg --symmetric` with AES-256.
// Then the peak resident memory of both loops for a 1 MiB and a large file,
// each in a fresh process.
// Usage: file_bench [MiB=256] [rounds=3]; each time is the best of the rounds.

#include "blockloop/BlockPipeline.h"
#include "crypto/CipherModules.h"
#include "operations/FilePair.h"
#include "platform/os/FileStreams.h"
#include "platform/os/Module.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
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

std::unique_ptr<CModule> BindDes() {
    auto des = std::make_unique<CModule>(kFileModule, kEncryptEntry,
                                         std::vector<std::filesystem::path>{QUILLMAR_OUTPUT_DIR});
    if (des->GetStatus() != CModule::Status::Bound)
        Fail("cannot bind DES.DLL in " QUILLMAR_OUTPUT_DIR);
    return des;
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

// Workers 0: the plain loop; otherwise the pipeline with that many workers.
bool Encrypt(CModule& des, const std::string& source, const std::string& target, unsigned workers) {
    BlockFiles files;
    if (OpenBlockFiles(source, target, PosixFileLayer(), files).kind != BlockOutcome::Kind::Success)
        return false;
    const auto outcome =
        workers == 0 ? RunBlockCipher(files, kPassword, des.Entry())
                     : RunBlockPipeline(files, kPassword, des.Entry(), {}, {.workers = workers});
    return outcome.kind == BlockOutcome::Kind::Success;
}

double EncryptWithLoop(CModule& des, const std::string& source, const std::string& target,
                       unsigned workers) {
    const auto start = Clock::now();
    if (!Encrypt(des, source, target, workers))
        Fail("block loop failed on " + source);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

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
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The loop's target is flushed to disk before it replaces the old file; the
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
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double EncryptWithOpenssl(const std::string& source, const std::string& target) {
    return TimeTool({"openssl", "enc", "-des-cbc", "-nopad", "-provider", "legacy", "-provider",
                     "default", "-K", kKeyHex, "-iv", kIvHex, "-in", source, "-out", target},
                    target);
}

double EncryptWithGpg(const std::string& home, const std::string& source,
                      const std::string& target) {
    return TimeTool({"gpg", "--homedir", home, "--batch", "--yes", "--quiet", "--pinentry-mode",
                     "loopback", "--passphrase", kPassword, "--symmetric", "--cipher-algo",
                     "AES256", "--compress-algo", "none", "-o", target, source},
                    target);
}

// The command-line companion beside the modules, the password on its standard input.
double EncryptWithCli(const std::string& passwordFile, const std::string& source,
                      const std::string& target) {
    return TimeTool({QUILLMAR_OUTPUT_DIR "/quillmar", "encrypt-file", source, target,
                     "--password-fd", "0", "--quiet"},
                    target, passwordFile.c_str());
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

// In a fresh process, so that nothing of the parent counts.
long PeakOfChild(const std::string& self, const std::string& dir, std::size_t size,
                 unsigned workers) {
    const std::string source = dir + "/peak-source", target = dir + "/peak-target";
    const std::string report = dir + "/peak-report";
    MakeSource(source, size);
    if (Spawn({self, "--peak", source, target, std::to_string(workers)}, report.c_str()) != 0)
        Fail("peak measurement failed");
    std::ifstream in(report);
    long kib = -1;
    in >> kib;
    std::remove(source.c_str());
    std::remove(target.c_str());
    std::remove(report.c_str());
    return kib;
}

int MeasurePeak(const char* source, const char* target, unsigned workers) {
    const auto des = BindDes();
    if (!Encrypt(*des, source, target, workers))
        return 1;
    std::printf("%ld\n", PeakKiB());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--peak") == 0)
        return MeasurePeak(argv[2], argv[3], unsigned(std::atoi(argv[4])));
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    if (mib == 0)
        Fail("usage: file_bench [MiB=256] [rounds=3]");
    const std::size_t size = mib << 20;

    char dirTemplate[] = "/tmp/quillmar-file-bench-XXXXXX";
    if (!::mkdtemp(dirTemplate))
        Fail("cannot make a folder under /tmp");
    const std::string dir = dirTemplate;
    const std::string source = dir + "/source", plain = dir + "/loop.enc",
                      piped = dir + "/pipeline.enc", theirs = dir + "/openssl.enc",
                      gpgOut = dir + "/gpg.enc", gpgHome = dir + "/gnupg",
                      cliOut = dir + "/cli.enc", passwordFile = dir + "/password";
    MakeSource(source, size);
    {
        std::ofstream pw(passwordFile);
        pw << kPassword << "\n";
    }
    const bool gpg = HaveProgram("gpg");
    if (gpg && ::mkdir(gpgHome.c_str(), 0700) != 0)
        Fail("cannot make " + gpgHome);

    const auto des = BindDes();
    // The key derivation is the module's one-off cost; openssl is handed the key.
    char warm[8] = {};
    des->Entry()(warm, kPassword, sizeof warm);
    const unsigned workers = DefaultWorkerCount();

    double loop = 1e100, pipeline = 1e100, cli = 1e100, openssl = 1e100, gpgTime = 1e100;
    for (int r = 0; r < rounds; ++r) {
        loop = std::min(loop, EncryptWithLoop(*des, source, plain, 0));
        pipeline = std::min(pipeline, EncryptWithLoop(*des, source, piped, workers));
        cli = std::min(cli, EncryptWithCli(passwordFile, source, cliOut));
        openssl = std::min(openssl, EncryptWithOpenssl(source, theirs));
        if (gpg)
            gpgTime = std::min(gpgTime, EncryptWithGpg(gpgHome, source, gpgOut));
    }
    // The pipeline writes exactly what the plain loop writes, and both start from
    // openssl's key and IV: the first 512-byte block agrees.
    const std::string plainBytes = ReadWhole(plain);
    const bool same = plainBytes == ReadWhole(piped) && plainBytes == ReadWhole(cliOut);
    const bool sameStart = Head(plain, 512) == Head(theirs, 512);
    const auto rate = [mib](double s) { return double(mib) / s; };
    std::printf("encrypt %zu MiB on %u cores, best of %d (times include flushing to disk)\n", mib,
                workers, rounds);
    std::printf("  plain loop + DES.DLL            %8.2f s  %8.1f MiB/s\n", loop, rate(loop));
    std::printf("  pipeline, %2u workers + DES.DLL  %8.2f s  %8.1f MiB/s\n", workers, pipeline,
                rate(pipeline));
    std::printf("  quillmar encrypt-file           %8.2f s  %8.1f MiB/s\n", cli, rate(cli));
    std::printf("  openssl enc -des-cbc            %8.2f s  %8.1f MiB/s\n", openssl, rate(openssl));
    if (gpg)
        std::printf("  gpg --symmetric AES256          %8.2f s  %8.1f MiB/s\n", gpgTime,
                    rate(gpgTime));
    std::printf("  ratio pipeline/plain loop       %8.3f    (target >= 1.8 on 2 cores)\n",
                loop / pipeline);
    std::printf("  ratio pipeline/openssl          %8.3f    (target >= 2.0 on 2 cores)\n",
                openssl / pipeline);
    if (gpg)
        std::printf("  ratio pipeline/gpg              %8.3f\n", gpgTime / pipeline);
    std::printf("  ratio quillmar/pipeline         %8.3f\n", pipeline / cli);
    std::printf("  pipeline and quillmar identical %s\n", same ? "yes" : "NO");
    std::printf("  first block as openssl's        %s\n", sameStart ? "yes" : "NO");
    for (const auto& f : {plain, piped, theirs, gpgOut, cliOut, passwordFile, source})
        std::remove(f.c_str());
    std::filesystem::remove_all(gpgHome);

    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::printf("peak resident memory (VmHWM)   1 MiB file  %4zu MiB file  difference\n", mib);
    for (const unsigned w : {0u, workers}) {
        const long small = PeakOfChild(self, dir, std::size_t{1} << 20, w);
        const long large = PeakOfChild(self, dir, size, w);
        std::printf("  %-26s %8ld KiB  %8ld KiB  %6ld KiB  (target: within 4096)\n",
                    w == 0 ? "plain loop" : "pipeline", small, large, std::labs(large - small));
    }
    ::rmdir(dir.c_str());
    return same && sameStart ? 0 : 1;
}
