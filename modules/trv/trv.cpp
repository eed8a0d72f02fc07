// TRV: the text cipher. Every visible character is rotated within the alphabet of characters
// that share its class and UTF-8 length, so the result is printable text of the same byte length
// that can go anywhere plain text can (mail bodies, chat boxes, clipboard).

#include <nettle/sha2.h>

#include "Entry.h"
#include "KeyCache.h"
#include "KeyMaterial.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <span>
#include <string.h> // explicit_bzero

namespace {

struct TrvRange {
    std::uint32_t first;
    std::uint32_t last;
    std::uint32_t position; // of `first` within its alphabet
};

#include "trv_alphabets.inc"

struct Alphabet {
    std::span<const TrvRange> ranges;
    std::uint32_t size;
};

// A corrupted table would silently garble texts, so check its shape while compiling.
constexpr bool WellFormed(std::span<const TrvRange> ranges, std::uint32_t size) {
    std::uint32_t position = 0;
    std::uint32_t nextFree = 0;
    for (const TrvRange& r : ranges) {
        if (r.first < nextFree || r.last < r.first || r.position != position)
            return false;
        position += r.last - r.first + 1;
        nextFree = r.last + 1;
    }
    return position == size;
}
static_assert(WellFormed(kG1Ranges, kG1Size) && kG1Size == 94);
static_assert(WellFormed(kG2Ranges, kG2Size) && kG2Size == 1546);
static_assert(WellFormed(kG3Ranges, kG3Size) && kG3Size == 51933);
static_assert(WellFormed(kG4Ranges, kG4Size) && kG4Size == 87383);
static_assert(WellFormed(kM2Ranges, kM2Size) && kM2Size == 14);
static_assert(WellFormed(kM3Ranges, kM3Size) && kM3Size == 586);
static_assert(WellFormed(kM4Ranges, kM4Size) && kM4Size == 859);

// Indexed by UTF-8 length; a code point is in at most one of them.
constexpr Alphabet kAlphabets[5][2] = {
    {},
    {{kG1Ranges, kG1Size}, {}},
    {{kG2Ranges, kG2Size}, {kM2Ranges, kM2Size}},
    {{kG3Ranges, kG3Size}, {kM3Ranges, kM3Size}},
    {{kG4Ranges, kG4Size}, {kM4Ranges, kM4Size}},
};

constexpr std::uint32_t kNotFound = UINT32_MAX;

std::uint32_t PositionOf(const Alphabet& a, std::uint32_t cp) {
    auto it = std::ranges::upper_bound(a.ranges, cp, {}, &TrvRange::first);
    if (it == a.ranges.begin())
        return kNotFound;
    --it;
    return cp <= it->last ? it->position + (cp - it->first) : kNotFound;
}

std::uint32_t CodePointAt(const Alphabet& a, std::uint32_t position) {
    auto it = std::ranges::upper_bound(a.ranges, position, {}, &TrvRange::position);
    --it; // position 0 is always in the first range
    return it->first + (position - it->position);
}

struct Sequence {
    std::uint32_t cp;
    std::size_t length; // 0 when no well-formed sequence starts here
};

// Strict UTF-8: shortest form only, no surrogates, nothing above U+10FFFF, and never reading
// past `avail` bytes.
Sequence Decode(const unsigned char* s, std::size_t avail) {
    const unsigned lead = s[0];
    if (lead < 0x80)
        return {lead, 1};
    std::size_t length;
    std::uint32_t cp;
    unsigned lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0)
            lo = 0xA0;
        else if (lead == 0xED)
            hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0)
            lo = 0x90;
        else if (lead == 0xF4)
            hi = 0x8F;
    } else {
        return {0, 0};
    }
    if (avail < length)
        return {0, 0};
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned b = s[k];
        if (b < lo || b > hi)
            return {0, 0};
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
    }
    return {cp, length};
}

void Encode(std::uint32_t cp, unsigned char* out, std::size_t length) {
    switch (length) {
    case 1:
        out[0] = static_cast<unsigned char>(cp);
        break;
    case 2:
        out[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        break;
    case 3:
        out[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        break;
    default:
        out[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
        out[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        break;
    }
}

constexpr std::size_t kKeySize = 32;
constexpr char kSalt[] = "Quillmar TRV 1";

// SHA-256(K || counter) blocks read as little-endian words.
class Keystream {
public:
    explicit Keystream(const std::uint8_t* key) {
        sha256_init(&m_base);
        sha256_update(&m_base, kKeySize, key);
    }
    ~Keystream() {
        explicit_bzero(&m_base, sizeof m_base);
        explicit_bzero(&m_work, sizeof m_work);
        explicit_bzero(m_block, sizeof m_block);
    }
    Keystream(const Keystream&) = delete;
    Keystream& operator=(const Keystream&) = delete;

    // Uniform in [0, n): words at or above the largest multiple of n are skipped.
    std::uint32_t Shift(std::uint32_t n) {
        const std::uint64_t limit = (std::uint64_t{1} << 32) - (std::uint64_t{1} << 32) % n;
        std::uint32_t w;
        do
            w = NextWord();
        while (w >= limit);
        return w % n;
    }

private:
    std::uint32_t NextWord() {
        if (m_used == kWords)
            Refill();
        const std::uint8_t* p = m_block + 4 * m_used++;
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }
    void Refill() {
        std::uint8_t counter[8];
        for (int i = 0; i < 8; ++i)
            counter[i] = static_cast<std::uint8_t>(m_counter >> (8 * i));
        ++m_counter;
        m_work = m_base; // the key is already absorbed, so only the counter is hashed per block
        sha256_update(&m_work, sizeof counter, counter);
        sha256_digest(&m_work, SHA256_DIGEST_SIZE, m_block);
        m_used = 0;
    }

    static constexpr unsigned kWords = SHA256_DIGEST_SIZE / 4;
    sha256_ctx m_base;
    sha256_ctx m_work;
    std::uint8_t m_block[SHA256_DIGEST_SIZE];
    std::uint64_t m_counter = 0;
    unsigned m_used = kWords;
};

struct TrvKey {
    std::uint8_t bytes[kKeySize];
};

void Derive(const char* pw, std::size_t n, TrvKey& out) {
    quillmar_module::DeriveKey(pw, n, kSalt, out.bytes, kKeySize);
}

// The derivation is deliberately slow, and the program calls us once per text with the same
// password.
quillmar_module::KeyCache<TrvKey> g_cache;

void Transform(std::uint8_t* bytes, std::size_t size, const char* password, bool decrypt) {
    TrvKey key;
    g_cache.CopyKey(password, Derive, key);
    Keystream stream(key.bytes);
    explicit_bzero(&key, sizeof key);

    std::size_t i = 0;
    while (i < size) {
        const Sequence seq = Decode(bytes + i, size - i);
        if (seq.length == 0) {
            ++i; // stray byte, or a sequence cut by the end: left alone
            continue;
        }
        for (const Alphabet& a : kAlphabets[seq.length]) {
            if (a.size == 0)
                continue;
            const std::uint32_t p = PositionOf(a, seq.cp);
            if (p == kNotFound)
                continue;
            const std::uint32_t s = stream.Shift(a.size);
            const std::uint32_t q = decrypt ? (p + a.size - s) % a.size : (p + s) % a.size;
            Encode(CodePointAt(a, q), bytes + i, seq.length);
            break;
        }
        i += seq.length;
    }
}

} // namespace

QUILLMAR_MODULE_ENTRY_POINTS(ENCRYPTFUNC, DECRYPTFUNC, Transform, 1)
