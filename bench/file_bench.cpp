// File encryption throughput and memory. Encrypts one file through the block
// loop the file panel uses, with the real DES.DLL, and the same file with
// `openssl enc -des-cbc` (same key and IV; openssl chains over the whole file,
// which does not matter for throughput). Then the peak resident memory of the
// loop for a 1 MiB and a large file, each in a fresh process.
// Usage: file_bench [MiB=256] [rounds=3]; each time is the best of the rounds.

#include "blockloop/BlockCipher.h"
#include "crypto/CipherModules.h"
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
#include <memory>
#include <spawn.h>
#include <string>
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

double EncryptWithLoop(CModule& des, const std::string& source, const std::string& target) {
    const auto start = Clock::now();
    const auto outcome =
        RunBlockCipher(source, target, kPassword, des.Entry(), {}, PosixFileLayer());
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    if (outcome.kind != BlockOutcome::Kind::Success)
        Fail("block loop failed on " + source);
    return s;
}

int Spawn(std::vector<std::string> args, const char* stdoutPath = nullptr) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutPath)
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath, O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
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
// same is asked of openssl's output, so both times cover a durable file.
double EncryptWithOpenssl(const std::string& source, const std::string& target) {
    const auto start = Clock::now();
    if (Spawn({"openssl", "enc", "-des-cbc", "-nopad", "-provider", "legacy", "-provider",
               "default", "-K", kKeyHex, "-iv", kIvHex, "-in", source, "-out", target}) != 0)
        Fail("openssl enc -des-cbc failed (is the legacy provider installed?)");
    const int fd = ::open(target.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0)
        Fail("cannot flush " + target);
    ::close(fd);
    return std::chrono::duration<double>(Clock::now() - start).count();
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
long PeakOfChild(const std::string& self, const std::string& dir, std::size_t size) {
    const std::string source = dir + "/peak-source", target = dir + "/peak-target";
    const std::string report = dir + "/peak-report";
    MakeSource(source, size);
    if (Spawn({self, "--peak", source, target}, report.c_str()) != 0)
        Fail("peak measurement failed");
    std::ifstream in(report);
    long kib = -1;
    in >> kib;
    std::remove(source.c_str());
    std::remove(target.c_str());
    std::remove(report.c_str());
    return kib;
}

int MeasurePeak(const char* source, const char* target) {
    const auto des = BindDes();
    const auto outcome =
        RunBlockCipher(source, target, kPassword, des->Entry(), {}, PosixFileLayer());
    if (outcome.kind != BlockOutcome::Kind::Success)
        return 1;
    std::printf("%ld\n", PeakKiB());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--peak") == 0)
        return MeasurePeak(argv[2], argv[3]);
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    if (mib == 0)
        Fail("usage: file_bench [MiB=256] [rounds=3]");
    const std::size_t size = mib << 20;

    char dirTemplate[] = "/tmp/quillmar-file-bench-XXXXXX";
    if (!::mkdtemp(dirTemplate))
        Fail("cannot make a folder under /tmp");
    const std::string dir = dirTemplate;
    const std::string source = dir + "/source", ours = dir + "/loop.enc",
                      theirs = dir + "/openssl.enc";
    MakeSource(source, size);

    const auto des = BindDes();
    // The key derivation is the module's one-off cost; openssl is handed the key.
    char warm[8] = {};
    des->Entry()(warm, kPassword, sizeof warm);

    double loop = 1e100, openssl = 1e100;
    for (int r = 0; r < rounds; ++r) {
        loop = std::min(loop, EncryptWithLoop(*des, source, ours));
        openssl = std::min(openssl, EncryptWithOpenssl(source, theirs));
    }
    // Both start from the same key and IV: the first 512-byte block agrees.
    const bool sameStart = Head(ours, 512) == Head(theirs, 512);
    const double loopMiBs = double(mib) / loop, opensslMiBs = double(mib) / openssl;
    std::printf("encrypt %zu MiB, best of %d (times include flushing the target to disk)\n", mib,
                rounds);
    std::printf("  block loop + DES.DLL    %8.2f s  %8.1f MiB/s\n", loop, loopMiBs);
    std::printf("  openssl enc -des-cbc    %8.2f s  %8.1f MiB/s\n", openssl, opensslMiBs);
    std::printf("  ratio loop/openssl      %8.3f    (target >= 0.90)\n", loopMiBs / opensslMiBs);
    std::printf("  first block identical   %s\n", sameStart ? "yes" : "NO");
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
    std::remove(source.c_str());

    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const long small = PeakOfChild(self, dir, std::size_t{1} << 20);
    const long large = PeakOfChild(self, dir, size);
    std::printf("peak resident memory (VmHWM)\n");
    const std::string largeLabel = std::to_string(mib) + " MiB file";
    std::printf("  %-22s%8ld KiB\n", "1 MiB file", small);
    std::printf("  %-22s%8ld KiB\n", largeLabel.c_str(), large);
    std::printf("  difference            %8ld KiB  (target: within 2048)\n",
                std::labs(large - small));
    ::rmdir(dir.c_str());
    return sameStart ? 0 : 1;
}
