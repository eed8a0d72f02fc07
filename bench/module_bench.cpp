// Cipher module throughput. DES.DLL is driven through its entry point exactly as the program
// feeds a file (512-byte calls) and compared with a bare nettle DES-CBC loop doing the same
// work, so the ratio shows what the module's own overhead costs. Then every batch variant
// the CPU runs, forced in turn, through ENCRYPTBLOCKS/DECRYPTBLOCKS in 1 MiB calls against
// nettle's per-block CBC both ways, on one core. TRV.DLL is timed on one 1 MiB text.
// Usage: module_bench [rounds]; each figure is the best of the rounds.

#include <nettle/cbc.h>
#include <nettle/des.h>
#include <nettle/pbkdf2.h>

#include "des_batch.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

using CipherFunc = void (*)(char*, const char*, std::int32_t);
using Clock = std::chrono::steady_clock;

constexpr std::size_t kTotal = std::size_t{256} << 20;
constexpr std::size_t kChunk = 512;
constexpr std::size_t kBatchCall = std::size_t{1} << 20;
constexpr std::size_t kTextSize = std::size_t{1} << 20;
constexpr char kPassword[] = "password";

CipherFunc Load(const char* file, const char* entry = "ENCRYPTFUNC", void** keep = nullptr) {
    const std::string path = std::string(QUILLMAR_OUTPUT_DIR) + "/" + file;
    void* handle = dlopen(path.c_str(), RTLD_NOW);
    void* fn = handle != nullptr ? dlsym(handle, entry) : nullptr;
    if (fn == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
        std::exit(1);
    }
    if (keep != nullptr)
        *keep = handle;
    return reinterpret_cast<CipherFunc>(fn);
}

template <typename F> double Seconds(F&& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Best CPU time of this thread over `rounds` runs of work, each after an untimed prepare: the
// throughput of one core even while other programs share the machine.
template <typename P, typename F> double Best(int rounds, P&& prepare, F&& work) {
    const auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        prepare();
        const double start = now();
        work();
        best = std::min(best, now() - start);
    }
    return best;
}

void Fill(std::vector<char>& data) {
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 131 + (i >> 9));
}

// The same key and IV the module derives, set up once outside the timed loop.
struct PlainDes {
    des_ctx ctx;
    std::uint8_t iv[DES_BLOCK_SIZE];
    PlainDes() {
        std::uint8_t m[16];
        pbkdf2_hmac_sha256(sizeof kPassword - 1, reinterpret_cast<const std::uint8_t*>(kPassword),
                           100000, 14, reinterpret_cast<const std::uint8_t*>("Quillmar DES 1"),
                           sizeof m, m);
        des_fix_parity(DES_KEY_SIZE, m, m);
        des_set_key(&ctx, m);
        std::memcpy(iv, m + DES_KEY_SIZE, sizeof iv);
    }
};

std::string MixedText() {
    const std::string paragraph =
        "The quick brown fox, 1234567890! Grüße aus Köln. "
        "Съешь же ещё этих мягких булок. 世界你好，今天天气很好。 "
        "नमस्ते दुनिया 🙂🚀 €£¥ — «ok»\n";
    std::string text;
    while (text.size() + paragraph.size() <= kTextSize)
        text += paragraph;
    text.append(kTextSize - text.size(), '.');
    return text;
}

} // namespace

// Per variant: seconds to encrypt and to decrypt all of plain in batch calls, forced through
// QUILLMAR_DES_VARIANT on a fresh load; -1 when the result differs from nettle's.
std::array<double, 2> TimeVariant(const char* name, int rounds, const std::vector<char>& plain,
                                  const std::vector<char>& cipher, std::vector<char>& work) {
    setenv("QUILLMAR_DES_VARIANT", name, 1);
    void* handle = nullptr;
    const CipherFunc encrypt = Load("DES.DLL", "ENCRYPTBLOCKS", &handle);
    const CipherFunc decrypt = Load("DES.DLL", "DECRYPTBLOCKS");
    unsetenv("QUILLMAR_DES_VARIANT");
    encrypt(work.data(), kPassword, 8); // derive the key outside the timing
    std::array<double, 2> seconds{};
    for (int d = 0; d < 2; ++d) {
        const CipherFunc fn = d ? decrypt : encrypt;
        const std::vector<char>& from = d ? cipher : plain;
        seconds[d] = Best(
            rounds, [&] { work = from; },
            [&] {
                for (std::size_t at = 0; at < kTotal; at += kBatchCall)
                    fn(work.data() + at, kPassword, kBatchCall);
            });
        if (work != (d ? plain : cipher))
            seconds[d] = -1;
    }
    dlclose(handle);
    dlclose(handle);
    return seconds;
}

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const char* chosen = quillmar_des::PickVariant(nullptr).name;
    // The batch variants first: each needs DES.DLL loaded afresh.
    std::vector<char> plainText(kTotal), cipherText(kTotal), work(kTotal);
    Fill(plainText);
    const PlainDes nettle;
    const auto nettleCbc = [&](bool decrypt) {
        for (std::size_t at = 0; at < kTotal; at += kChunk) {
            std::uint8_t iv[DES_BLOCK_SIZE];
            std::memcpy(iv, nettle.iv, sizeof iv);
            auto* p = reinterpret_cast<std::uint8_t*>(work.data() + at);
            if (decrypt)
                cbc_decrypt(&nettle.ctx, reinterpret_cast<nettle_cipher_func*>(des_decrypt),
                            DES_BLOCK_SIZE, iv, kChunk, p, p);
            else
                cbc_encrypt(&nettle.ctx, reinterpret_cast<nettle_cipher_func*>(des_encrypt),
                            DES_BLOCK_SIZE, iv, kChunk, p, p);
        }
    };
    const double nettleEncrypt = Best(
        rounds, [&] { work = plainText; }, [&] { nettleCbc(false); });
    cipherText = work;
    const double nettleDecrypt = Best(
        rounds, [&] { work = cipherText; }, [&] { nettleCbc(true); });
    if (work != plainText) {
        std::fprintf(stderr, "nettle does not decrypt its own output\n");
        return 1;
    }
    const double mb = static_cast<double>(kTotal) / 1e6;
    std::printf("%-10s %6s %14s %14s %9s %9s\n", "variant", "lanes", "encrypt MB/s", "decrypt MB/s",
                "x nettle", "x nettle");
    std::printf("%-10s %6d %14.1f %14.1f %9s %9s   (per-block CBC, 512-byte chains)\n", "nettle", 1,
                mb / nettleEncrypt, mb / nettleDecrypt, "1.00", "1.00");
    bool wrong = false;
    for (const quillmar_des::Variant* v : quillmar_des::kAllVariants) {
        if (!v->runs()) {
            std::printf("%-10s %6zu %14s\n", v->name, v->lanes, "(not on this CPU)");
            continue;
        }
        const auto [enc, dec] = TimeVariant(v->name, rounds, plainText, cipherText, work);
        wrong = wrong || enc < 0 || dec < 0;
        std::printf("%-10s %6zu %14.1f %14.1f %9.2f %9.2f%s\n", v->name, v->lanes, mb / enc,
                    mb / dec, nettleEncrypt / enc, nettleDecrypt / dec,
                    std::strcmp(v->name, chosen) == 0 ? "   <- chosen on this CPU" : "");
    }
    std::printf(
        "(targets per core: avx512* >= 1000, avx2 >= 450, portable >= 150 MB/s both ways)\n\n");
    if (wrong) {
        std::fprintf(stderr, "a batch variant and nettle disagree\n");
        return 1;
    }
    plainText = {};
    cipherText = {};
    work = {};

    const CipherFunc desModule = Load("DES.DLL");
    const CipherFunc trvModule = Load("TRV.DLL");
    const PlainDes plain;

    std::vector<char> a(kTotal), b(kTotal);
    desModule(a.data(), kPassword, kChunk); // the password derivation is not what we measure
    double moduleBest = 1e9, nettleBest = 1e9;
    for (int r = 0; r < rounds; ++r) {
        Fill(a);
        Fill(b);
        moduleBest = std::min(moduleBest, Seconds([&] {
                                  for (std::size_t at = 0; at < kTotal; at += kChunk)
                                      desModule(a.data() + at, kPassword, kChunk);
                              }));
        nettleBest = std::min(
            nettleBest, Seconds([&] {
                for (std::size_t at = 0; at < kTotal; at += kChunk) {
                    std::uint8_t iv[DES_BLOCK_SIZE];
                    std::memcpy(iv, plain.iv, sizeof iv);
                    auto* p = reinterpret_cast<std::uint8_t*>(b.data() + at);
                    cbc_encrypt(&plain.ctx, reinterpret_cast<nettle_cipher_func*>(des_encrypt),
                                DES_BLOCK_SIZE, iv, kChunk, p, p);
                }
            }));
        if (a != b) {
            std::fprintf(stderr, "DES.DLL and nettle disagree\n");
            return 1;
        }
    }

    std::string text = MixedText();
    trvModule(text.data(), kPassword, 16);
    double trvBest = 1e9;
    for (int r = 0; r < std::max(rounds, 5); ++r) {
        std::string copy = text;
        trvBest =
            std::min(trvBest, Seconds([&] {
                         trvModule(copy.data(), kPassword, static_cast<std::int32_t>(copy.size()));
                     }));
    }

    const double mib = static_cast<double>(kTotal) / (1 << 20);
    std::printf("%-34s %10s %13s\n", "case", "time", "throughput");
    std::printf("%-34s %8.3f s %7.1f MiB/s\n", "DES.DLL, 512-byte calls, 256 MiB", moduleBest,
                mib / moduleBest);
    std::printf("%-34s %8.3f s %7.1f MiB/s\n", "nettle DES-CBC, same calls", nettleBest,
                mib / nettleBest);
    std::printf("%-34s %10s %13.3f   (target >= 0.95)\n", "ratio DES.DLL / nettle", "",
                nettleBest / moduleBest);
    std::printf("%-34s %7.1f ms %7.1f MiB/s   (target < 100 ms)\n", "TRV.DLL, one call, 1 MiB text",
                trvBest * 1e3, 1.0 / trvBest);
    return 0;
}
