// Loads the built TRV.DLL and DES.DLL the way the program does and checks them from outside.

#include <nettle/cbc.h>
#include <nettle/des.h>
#include <nettle/hmac.h>
#include <nettle/pbkdf2.h>
#include <nettle/sha2.h>

#include <dlfcn.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "des_batch.h"

#include <algorithm>
#include <atomic>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <cuchar>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using CipherFunc = void (*)(char*, const char*, std::int32_t);

const std::string kDir = QUILLMAR_OUTPUT_DIR "/";

// nettle's CBC calls from DES.DLL land below (the test exports them), so that a batch call
// that quietly ran per-block nettle shows.
std::atomic<int> g_nettleCalls{0};

struct Module {
    explicit Module(const char* file) : handle(dlopen((kDir + file).c_str(), RTLD_NOW)) {
        if (!handle || !(encrypt = Entry("ENCRYPTFUNC")) || !(decrypt = Entry("DECRYPTFUNC")))
            throw std::runtime_error(dlerror());
    }
    ~Module() { dlclose(handle); }
    CipherFunc Entry(const char* name) const {
        return reinterpret_cast<CipherFunc>(dlsym(handle, name));
    }
    void* handle;
    CipherFunc encrypt = nullptr, decrypt = nullptr;
};

// Runs fn over a copy of data twice: flush against an inaccessible page after it, then against
// one before it, with guard bytes filling the rest. Touching anything outside the range faults
// or shows in the guards, and as calls are independent both runs must agree.
std::string RunGuarded(CipherFunc fn, const std::string& data, const std::string& password,
                       std::optional<std::int32_t> length = {}) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t n = data.size(), span = (n + 64 + page - 1) / page * page;
    std::string results[2];
    for (int atEnd = 0; atEnd < 2; ++atEnd) {
        auto* base = static_cast<char*>(
            mmap(nullptr, span + 2 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        char *open = base + page, *p = atEnd ? open + span - n : open;
        mprotect(open, span, PROT_READ | PROT_WRITE);
        std::memset(open, 0x5A, span);
        std::memcpy(p, data.data(), n);
        fn(p, password.c_str(), length.value_or(static_cast<std::int32_t>(n)));
        results[atEnd].assign(p, n);
        std::memset(p, 0x5A, n);
        EXPECT_EQ(std::string(open, span), std::string(span, 0x5A)) << "guard bytes changed";
        munmap(base, span + 2 * page);
    }
    EXPECT_EQ(results[0], results[1]);
    return results[0];
}

std::string Hex(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes)
        out += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    return out;
}

std::uint8_t* U8(std::string& s) {
    return reinterpret_cast<std::uint8_t*>(s.data());
}

// The one scalar value that s encodes, or -1.
long ScalarValue(const std::string& s) {
    static const bool utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    char32_t c = 0;
    std::mbstate_t state{};
    const bool one = utf8 && std::mbrtoc32(&c, s.data(), s.size(), &state) == s.size();
    return one && c <= 0x10FFFF ? static_cast<long>(c) : -1;
}

bool Visible(long c) {
    const auto in = [c](long lo, long hi) { return c >= lo && c <= hi; };
    return c > 0x20 && !in(0x7F, 0xA0) && c != 0x1680 && !in(0x2000, 0x200F) &&
           !in(0x2028, 0x202F) && !in(0x205F, 0x206F) && c != 0x3000 && !in(0xE000, 0xF8FF) &&
           !in(0xFDD0, 0xFDEF) && c != 0xFEFF && (c & 0xFFFE) != 0xFFFE && !in(0xE0000, 0xE007F) &&
           c < 0xF0000;
}

// Pieces TRV must rotate (every class and length, table ends included) and pieces it must
// leave alone: controls, spaces, format and private-use characters, combining marks, characters
// NFC changes or that only occur decomposed, unassigned code points and ill-formed UTF-8.
const std::vector<std::string> kRotated = {
    "a",      "~",      "!",      "\u00A1",     "\u00DF",     "\u07FF",     "\u0800",
    "\u4E16", "\uAC00", "\uFFFD", "\U00010000", "\U0001F642", "\U0003134A", "\u034F",
    "\u07B0", "\u0903", "\uFE0F", "\U00010A01", "\U000E01EF"};
const std::vector<std::string> kKept = {
    "\t",       "\n",         " ",      "\u00A0",   "\u200D",       "\uFEFF",
    "\uE000",   "\u0301",     "\u2126", "\u0B3E",   "\u1161",       "\u11A8",
    "\u0378",   "\U0010FFFF", "\xFF",   "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
    "\x7F\x80", {"", 1}};

TEST(Trv, KnownVectorsWholeAlphabetsAndMixedTextsOfEveryLength) {
    const Module trv("TRV.DLL");
    for (const auto& [plain, cipher] : std::vector<std::pair<std::string, std::string>>{
             {"abc", "785b53"},
             {"Hello, World", "5f5e5c3b295b202249523f5f"},
             {"Grüße, 世界! 🙂", "5e6bc99eddab7d5b20e6a492e5819f5f20f0a28aaa"},
             {"line one\n\tline two\r\n", "25625e3420293f300a0946494160204d774b0d0a"},
             {"A\xFF\x42\xC3", "58ff3bc3"}}) {
        const std::string out = RunGuarded(trv.encrypt, plain, "password");
        EXPECT_EQ(Hex(out), cipher);
        EXPECT_EQ(RunGuarded(trv.decrypt, out, "password"), plain);
    }
    EXPECT_EQ(Hex(RunGuarded(trv.encrypt, "abc", "")), "3b4e21");
    EXPECT_EQ(Hex(RunGuarded(trv.encrypt, "abc", "пароль")), "425679");

    // Many copies of one character spread over its whole alphabet and nothing else.
    const std::string ascii = RunGuarded(trv.encrypt, std::string(20000, 'a'), "password");
    EXPECT_EQ(std::set<char>(ascii.begin(), ascii.end()).size(), 94u);
    EXPECT_TRUE(std::all_of(ascii.begin(), ascii.end(), [](char c) { return c > ' ' && c < 127; }));
    std::string marks;
    for (int i = 0; i < 2000; ++i)
        marks += "\u034F";
    marks = RunGuarded(trv.encrypt, marks, "password");
    std::set<long> seen;
    for (std::size_t i = 0; i < marks.size(); i += 2)
        seen.insert(ScalarValue(marks.substr(i, 2)));
    EXPECT_EQ(seen, (std::set<long>{0x34F, 0x488, 0x489, 0x7A6, 0x7A7, 0x7A8, 0x7A9, 0x7AA, 0x7AB,
                                    0x7AC, 0x7AD, 0x7AE, 0x7AF, 0x7B0}));

    // Mixed texts of every length from 0 to 600 bytes, each ending in a sequence cut short.
    std::mt19937 rng(1);
    for (std::size_t n = 0; n <= 600; ++n) {
        std::vector<std::pair<std::string, bool>> pieces; // bytes, kept
        std::string plain;
        while (n - plain.size() > 3) {
            const bool kept = rng() % 3 == 0;
            const auto& pool = kept ? kKept : kRotated;
            pieces.emplace_back(n - plain.size() >= 7 ? pool[rng() % pool.size()] : pool[1], kept);
            plain += pieces.back().first;
        }
        pieces.emplace_back(std::string("\xF0\x9F\x99", n - plain.size()), true);
        plain += pieces.back().first;
        const std::string cipher = RunGuarded(trv.encrypt, plain, "password");
        ASSERT_EQ(RunGuarded(trv.decrypt, cipher, "password"), plain);
        std::size_t at = 0;
        for (const auto& [bytes, kept] : pieces) {
            const std::string out = cipher.substr(at, bytes.size());
            ASSERT_TRUE(kept ? out == bytes : Visible(ScalarValue(out)))
                << Hex(bytes) << " became " << Hex(out) << " at byte " << at;
            at += bytes.size();
        }
    }
}

// Every call is plain DES-CBC from the derived key and IV, pinned by the known vector; partial
// blocks leave the data alone.
TEST(Des, KnownVectorAndEveryLengthMatchPlainCbc) {
    const Module des("DES.DLL");
    std::string plain(600, '\0'), key = "\xa4\x20\x38\x57\x9e\x8c\xad\x6e",
                                  iv = "\x69\xb1\xe8\x21\x51\x11\x5a\x66";
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<char>(i);
    std::string cbc = plain;
    des_ctx ctx;
    des_set_key(&ctx, U8(key));
    cbc_encrypt(&ctx, reinterpret_cast<nettle_cipher_func*>(des_encrypt), 8, U8(iv), cbc.size(),
                U8(cbc), U8(cbc));
    for (std::size_t n = 0; n <= plain.size(); ++n) {
        const std::string cipher = RunGuarded(des.encrypt, plain.substr(0, n), "password");
        ASSERT_EQ(Hex(cipher), Hex((n % 8 ? plain : cbc).substr(0, n))) << n << " bytes";
        ASSERT_EQ(RunGuarded(des.decrypt, cipher, "password"), plain.substr(0, n)) << n << " bytes";
    }
    EXPECT_EQ(Hex(cbc.substr(0, 16)), "7c39f0ca4cf8d03763cf4c6a4a99c317");
}

// The batch entry points on every variant the CPU runs: the bitsliced core on FIPS 81's CBC
// example, then the module, forced to that variant, against one ENCRYPTFUNC call per 512-byte
// piece on lengths around a lane batch (a short tail goes through the scratch copy) and random
// data. Bad arguments change nothing.
TEST(Des, EveryBatchVariantMatchesAKnownAnswerAndPerPieceCalls) {
    std::mt19937 rng(20);
    const std::string passwords[] = {"password", "\xF0\x9F\x94\x91 batch"};
    for (const quillmar_des::Variant* variant : quillmar_des::kAllVariants) {
        if (!variant->runs())
            continue;
        SCOPED_TRACE(variant->name);
        std::string key = "\x01\x23\x45\x67\x89\xab\xcd\xef",
                    iv = "\x12\x34\x56\x78\x90\xab\xcd\xef", data = "Now is the time for all ";
        quillmar_des::RoundKeys keys;
        quillmar_des::ExpandKey(U8(key), keys);
        ASSERT_TRUE(quillmar_des::RunChains(*variant, U8(data), data.size(), keys, U8(iv), false));
        EXPECT_EQ(Hex(data), "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6");
        setenv("QUILLMAR_DES_VARIANT", variant->name, 1);
        const Module des("DES.DLL");
        unsetenv("QUILLMAR_DES_VARIANT");
        const CipherFunc encrypt = des.Entry("ENCRYPTBLOCKS"), decrypt = des.Entry("DECRYPTBLOCKS");
        ASSERT_TRUE(encrypt && decrypt);
        const std::size_t batch = variant->lanes * 512;
        for (std::size_t n : {std::size_t{8}, std::size_t{512}, std::size_t{520}, batch - 8, batch,
                              batch + 8, 3 * batch + 5 * 512 + 136}) {
            const std::string& password = passwords[n % 3 % 2];
            std::string plain(n, '\0'), cipher;
            for (char& c : plain)
                c = static_cast<char>(rng());
            const int calls = g_nettleCalls;
            for (std::size_t at = 0; at < n; at += 512) {
                std::string piece = plain.substr(at, 512);
                des.encrypt(piece.data(), password.c_str(), std::int32_t(piece.size()));
                cipher += piece;
            }
            ASSERT_EQ(RunGuarded(encrypt, plain, password), cipher) << n << " bytes";
            ASSERT_EQ(RunGuarded(decrypt, cipher, password), plain) << n << " bytes";
            // One nettle call per piece above (so the counting works), none for the batch.
            ASSERT_EQ(g_nettleCalls - calls, int((n + 511) / 512)) << n << " bytes";
        }
        for (std::int32_t length : {0, -8, 12, 1028, INT32_MIN})
            EXPECT_EQ(RunGuarded(encrypt, std::string(1032, 'x'), "password", length),
                      std::string(1032, 'x'));
    }
}

class Modules : public ::testing::TestWithParam<const char*> {};

// Whatever a module keeps between calls must not show: calls with alternating passwords give
// what a freshly loaded module gives for each password, and the two long passwords, which
// differ only in their last byte, give different results.
TEST_P(Modules, MatchFreshLoadsIgnoreNonPositiveLengthsAndExportOnlyTheEntryPoints) {
    const std::string passwords[] = {"password", "", "пароль", std::string(10000, 'k'),
                                     std::string(9999, 'k') + 'l'};
    std::string text = std::string(498, 'x') + "Grüße 世界", fresh[5]; // 512 bytes: DES changes it
    for (int i = 0; i < 5; ++i) {
        // Nothing, in this test or any other, may still hold the module open.
        ASSERT_EQ(dlopen((kDir + GetParam()).c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
        fresh[i] = RunGuarded(Module(GetParam()).encrypt, text, passwords[i]);
    }
    EXPECT_NE(fresh[3], fresh[4]);
    const Module module(GetParam());
    for (int i : {0, 1, 0, 2, 3, 4, 1, 3}) {
        const std::string cipher = RunGuarded(module.encrypt, text, passwords[i]);
        EXPECT_EQ(cipher, fresh[i]) << "password " << i;
        EXPECT_EQ(RunGuarded(module.decrypt, cipher, passwords[i]), text);
    }
    for (std::int32_t length : {0, -1, -8, INT32_MIN})
        EXPECT_EQ(RunGuarded(module.encrypt, text, "password", length), text);
    // Two threads with different passwords at once, where the module allows it.
    if (module.Entry("THREADSAFE")) {
        const auto run = [&](int i) {
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(RunGuarded(module.encrypt, text, passwords[i]), fresh[i]);
        };
        std::thread other(run, 0);
        run(2);
        other.join();
    }

    FILE* nm =
        popen(("nm -D --defined-only -j " + kDir + GetParam() + " 2>/dev/null").c_str(), "r");
    std::string names(256, '\0');
    names.resize(nm ? std::fread(names.data(), 1, names.size(), nm) : 0);
    if (!nm || pclose(nm) != 0)
        GTEST_SKIP() << "nm not available";
    EXPECT_EQ(names, std::string(GetParam()) == "DES.DLL"
                         ? "DECRYPTBLOCKS\nDECRYPTFUNC\nENCRYPTBLOCKS\nENCRYPTFUNC\nTHREADSAFE\n"
                         : "DECRYPTFUNC\nENCRYPTFUNC\n");
}

// After a call, the stack of the thread that made it holds nothing derived from the password:
// not the key (nor the IV), not the HMAC states the derivation ran on.
TEST_P(Modules, LeaveNoKeyMaterialOnTheCallersStack) {
    std::string salt = std::string("Quillmar ") + std::string(GetParam(), 3) + " 1";
    std::string password = "password", key(salt.ends_with("DES 1") ? 16 : 32, '\0');
    pbkdf2_hmac_sha256(8, U8(password), 100000, salt.size(), U8(salt), key.size(), U8(key));
    hmac_sha256_ctx mac;
    hmac_sha256_set_key(&mac, 8, U8(password));
    std::vector<std::string> secrets = {key.substr(key.size() - 8),
                                        {reinterpret_cast<char*>(mac.inner.state), 32},
                                        {reinterpret_cast<char*>(mac.outer.state), 32}};
    des_fix_parity(8, U8(key), U8(key));
    secrets.push_back(key.substr(0, 8)); // what DES runs on; TRV's key whole
    for (std::size_t i = 0, n = secrets.size(); i < n; ++i) {
        std::string swapped = secrets[i]; // as SHA-256 loads it into words
        for (std::size_t at = 0; at < swapped.size(); at += 4)
            std::reverse(swapped.begin() + long(at), swapped.begin() + long(at) + 4);
        secrets.push_back(swapped);
    }
    std::vector<char> stack(std::size_t{1} << 20, '\0');
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstack(&attr, stack.data(), stack.size());
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attr,
                  [](void* file) -> void* {
                      std::string text(1024, 'x');
                      Module module(static_cast<const char*>(file));
                      // The batch entry first, so that it derives the key.
                      if (const CipherFunc blocks = module.Entry("ENCRYPTBLOCKS"))
                          blocks(text.data(), "password", 1024);
                      module.encrypt(text.data(), "password", 512);
                      return nullptr;
                  },
                  const_cast<char*>(GetParam())),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    const std::string used(stack.begin(), stack.end());
    for (const std::string& secret : secrets)
        EXPECT_EQ(used.find(secret), std::string::npos) << Hex(secret);
}

INSTANTIATE_TEST_SUITE_P(Both, Modules, ::testing::Values("TRV.DLL", "DES.DLL"),
                         [](const auto& info) { return std::string(info.param, 3); });

} // namespace

#define COUNTED(name)                                                                              \
    extern "C" void name(const void* c, nettle_cipher_func* f, std::size_t b, std::uint8_t* iv,    \
                         std::size_t n, std::uint8_t* to, const std::uint8_t* from) {              \
        ++g_nettleCalls;                                                                           \
        static const auto next = reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name));       \
        next(c, f, b, iv, n, to, from);                                                            \
    }
COUNTED(nettle_cbc_encrypt)
COUNTED(nettle_cbc_decrypt)
