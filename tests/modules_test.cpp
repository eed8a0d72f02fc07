// Loads the built TRV.DLL and DES.DLL the way the program does and checks them from outside.

#include <nettle/cbc.h>
#include <nettle/des.h>
#include <nettle/sha2.h>

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <cuchar>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using CipherFunc = void (*)(char*, const char*, std::int32_t);

std::string path_of(const char* file) {
    return std::string(QUILLMAR_OUTPUT_DIR) + "/" + file;
}

struct Module {
    explicit Module(const char* file) : handle(dlopen(path_of(file).c_str(), RTLD_NOW)) {
        encrypt = reinterpret_cast<CipherFunc>(handle ? dlsym(handle, "ENCRYPTFUNC") : nullptr);
        decrypt = reinterpret_cast<CipherFunc>(handle ? dlsym(handle, "DECRYPTFUNC") : nullptr);
        if (encrypt == nullptr || decrypt == nullptr)
            throw std::runtime_error(dlerror());
    }
    ~Module() { dlclose(handle); }
    void* handle;
    CipherFunc encrypt, decrypt;
};

// Runs fn over a copy of data twice: flush against an inaccessible page after it, then against
// one before it, with guard bytes filling the rest. Touching anything outside the range faults
// or shows in the guards, and as calls are independent both runs must agree.
std::string run(CipherFunc fn, const std::string& data, const std::string& password,
                std::optional<std::int32_t> length = {}) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t n = data.size(), span = (n + 64 + page - 1) / page * page;
    std::string results[2];
    for (int at_end = 0; at_end < 2; ++at_end) {
        auto* base = static_cast<char*>(
            mmap(nullptr, span + 2 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        char *open = base + page, *p = at_end ? open + span - n : open;
        mprotect(open, span, PROT_READ | PROT_WRITE);
        std::memset(open, 0x5A, span);
        std::memcpy(p, data.data(), n);
        fn(p, password.c_str(), length.value_or(static_cast<std::int32_t>(n)));
        results[at_end].assign(p, n);
        std::memset(p, 0x5A, n);
        EXPECT_EQ(std::string(open, span), std::string(span, 0x5A)) << "guard bytes changed";
        munmap(base, span + 2 * page);
    }
    EXPECT_EQ(results[0], results[1]);
    return results[0];
}

std::string hex(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes)
        out += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    return out;
}

std::string unhex(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 2)
        out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

// The one scalar value that s encodes, or -1.
long scalar_value(const std::string& s) {
    static const bool utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    char32_t c = 0;
    std::mbstate_t state{};
    const bool one = utf8 && std::mbrtoc32(&c, s.data(), s.size(), &state) == s.size();
    return one && c <= 0x10FFFF ? static_cast<long>(c) : -1;
}

bool visible(long c) {
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
const std::vector<std::string> kKept = {std::string(1, '\0'),
                                        "\n",
                                        "\t",
                                        " ",
                                        "\u00A0",
                                        "\u200D",
                                        "\uFEFF",
                                        "\uE000",
                                        "\u0301",
                                        "\u2126",
                                        "\u0B3E",
                                        "\u1161",
                                        "\u11A8",
                                        "\u0378",
                                        "\U0010FFFF",
                                        "\xFF",
                                        "\xC0\xAF",
                                        "\xED\xA0\x80",
                                        "\xF4\x90\x80\x80",
                                        "\x7F\x80"};

TEST(Trv, KnownVectors) {
    const Module trv("TRV.DLL");
    for (const auto& [plain, cipher] : std::vector<std::pair<std::string, std::string>>{
             {"abc", "785b53"},
             {"Hello, World", "5f5e5c3b295b202249523f5f"},
             {"Grüße, 世界! 🙂", "5e6bc99eddab7d5b20e6a492e5819f5f20f0a28aaa"},
             {"line one\n\tline two\r\n", "25625e3420293f300a0946494160204d774b0d0a"},
             {unhex("41ff42c3"), "58ff3bc3"}}) {
        EXPECT_EQ(hex(run(trv.encrypt, plain, "password")), cipher);
        EXPECT_EQ(run(trv.decrypt, unhex(cipher), "password"), plain);
    }
    EXPECT_EQ(hex(run(trv.encrypt, "abc", "")), "3b4e21");
    EXPECT_EQ(hex(run(trv.encrypt, "abc", "пароль")), "425679");
}

// Texts of every length from 0 to 600 bytes, each ending in a sequence cut short.
TEST(Trv, MixedTextsRoundTripAndKeepTheirShape) {
    const Module trv("TRV.DLL");
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
        const std::string cipher = run(trv.encrypt, plain, "password");
        ASSERT_EQ(run(trv.decrypt, cipher, "password"), plain);
        std::size_t at = 0;
        for (const auto& [bytes, kept] : pieces) {
            const std::string out = cipher.substr(at, bytes.size());
            if (kept)
                ASSERT_EQ(hex(out), hex(bytes)) << "at byte " << at;
            else
                ASSERT_TRUE(visible(scalar_value(out))) << hex(out) << " at byte " << at;
            at += bytes.size();
        }
    }
}

// Many copies of one character must spread over its whole alphabet and nothing else.
TEST(Trv, RotatesOverTheWholeAlphabet) {
    const Module trv("TRV.DLL");
    std::string cgj;
    for (int i = 0; i < 2000; ++i)
        cgj += "\u034F";
    const std::string ascii = run(trv.encrypt, std::string(20000, 'a'), "password");
    const std::string marks = run(trv.encrypt, cgj, "password");
    std::set<long> seen, expected = {0x34F, 0x488, 0x489};
    for (std::size_t i = 0; i < marks.size(); i += 2)
        seen.insert(scalar_value(marks.substr(i, 2)));
    for (long c = 0x7A6; c <= 0x7B0; ++c)
        expected.insert(c);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(std::set<char>(ascii.begin(), ascii.end()).size(), 94u);
    EXPECT_TRUE(std::all_of(ascii.begin(), ascii.end(), [](char c) { return c > ' ' && c < 127; }));
}

TEST(Des, KnownVectors) {
    const Module des("DES.DLL");
    EXPECT_EQ(hex(run(des.encrypt, std::string(16, '\0'), "password")),
              "0fad6714e9df6c675ece750ab1a8fb30");
    std::string plain(512, '\0');
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<char>(i);
    const std::string cipher = run(des.encrypt, plain, "password");
    std::string digest(SHA256_DIGEST_SIZE, '\0');
    sha256_ctx sha;
    sha256_init(&sha);
    sha256_update(&sha, cipher.size(), reinterpret_cast<const std::uint8_t*>(cipher.data()));
    sha256_digest(&sha, digest.size(), reinterpret_cast<std::uint8_t*>(digest.data()));
    EXPECT_EQ(hex(cipher.substr(0, 16)), "7c39f0ca4cf8d03763cf4c6a4a99c317");
    EXPECT_EQ(hex(digest), "f6458ee6ac9f2500227b1b02875869afc20228e9380825c47dea8c3bece2fb77");
    EXPECT_EQ(run(des.decrypt, cipher, "password"), plain);
}

// Every call is plain DES-CBC from the derived IV; partial blocks leave the data alone.
TEST(Des, EveryLengthMatchesPlainCbc) {
    const Module des("DES.DLL");
    des_ctx ctx;
    des_set_key(&ctx, reinterpret_cast<const std::uint8_t*>(unhex("a42038579e8cad6e").data()));
    std::mt19937 rng(3);
    for (std::size_t n = 0; n <= 600; ++n) {
        std::string plain(n, '\0'), iv = unhex("69b1e82151115a66");
        for (char& c : plain)
            c = static_cast<char>(rng());
        std::string expected = plain;
        auto* p = reinterpret_cast<std::uint8_t*>(expected.data());
        if (n % 8 == 0)
            cbc_encrypt(&ctx, reinterpret_cast<nettle_cipher_func*>(des_encrypt), 8,
                        reinterpret_cast<std::uint8_t*>(iv.data()), n, p, p);
        const std::string cipher = run(des.encrypt, plain, "password");
        ASSERT_EQ(hex(cipher), hex(expected)) << n << " bytes";
        ASSERT_EQ(run(des.decrypt, cipher, "password"), plain) << n << " bytes";
    }
}

class Modules : public ::testing::TestWithParam<const char*> {};

TEST_P(Modules, ExportOnlyTheEntryPoints) {
    FILE* nm = popen(("nm -D --defined-only " + path_of(GetParam()) + " 2>/dev/null").c_str(), "r");
    std::set<std::string> names;
    char address[64], type[8], name[256];
    while (nm != nullptr && std::fscanf(nm, "%63s %7s %255s", address, type, name) == 3)
        names.insert(name);
    if (nm == nullptr || pclose(nm) != 0)
        GTEST_SKIP() << "nm not available";
    EXPECT_EQ(names, (std::set<std::string>{"DECRYPTFUNC", "ENCRYPTFUNC"}));
}

TEST_P(Modules, NonPositiveLengthsAndLongPasswords) {
    const Module module(GetParam());
    const std::string text(64, 'q');
    for (std::int32_t length : {0, -1, -8, INT32_MIN})
        EXPECT_EQ(run(module.encrypt, text, "password", length), text);
    std::string password(10000, 'k');
    const std::string first = run(module.encrypt, text, password);
    password.back() = 'l';
    EXPECT_NE(run(module.encrypt, text, password), first);
}

// Whatever a module keeps between calls must not show: calls with alternating passwords give
// what a freshly loaded module gives for each password. No other test holds a module open.
TEST_P(Modules, AlternatingPasswordsMatchFreshLoads) {
    const std::string passwords[] = {"password", "", "пароль", std::string(3000, 'z')};
    std::string text(512, '\0'), seen[4];
    std::mt19937 rng(4);
    for (char& c : text)
        c = static_cast<char>(rng());
    {
        const Module module(GetParam());
        for (int i : {0, 1, 0, 2, 3, 1, 3}) {
            const std::string cipher = run(module.encrypt, text, passwords[i]);
            EXPECT_EQ(run(module.decrypt, cipher, passwords[i]), text);
            EXPECT_TRUE(seen[i].empty() || seen[i] == cipher) << "password " << i;
            seen[i] = cipher;
        }
    }
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(dlopen(path_of(GetParam()).c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
        const Module fresh(GetParam());
        EXPECT_EQ(run(fresh.encrypt, text, passwords[i]), seen[i]) << "password " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Both, Modules, ::testing::Values("TRV.DLL", "DES.DLL"),
                         [](const auto& info) { return std::string(info.param, 3); });

} // namespace
