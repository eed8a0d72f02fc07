// A cipher module for tests that notes how many of its calls ever ran at once,
// and the length of each. Each call adds one to every byte and one more to
// the first byte of each 512-byte piece (DECRYPTFUNC takes it away again), so
// the output also shows which blocks went through it, and whether a batch
// started on a block. Built with QUILLMAR_BATCH it takes batches as well.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace {
std::atomic<int> g_running{0}, g_most{0};
std::mutex g_mutex;
std::vector<int> g_lengths; // batch calls as they are, per-block calls negative

void Transform(char* data, std::int32_t length, int step, bool batch) {
    const int now = ++g_running;
    for (int most = g_most; now > most && !g_most.compare_exchange_weak(most, now);) {
    }
    for (std::int32_t i = 0; i < length; ++i)
        data[i] = char(data[i] + step * (1 + (i % 512 == 0)));
    {
        const std::lock_guard lock(g_mutex);
        g_lengths.push_back(batch ? length : -length);
    }
    // Long enough that calls made at the same time overlap.
    std::atomic<int> spin{0};
    while (spin.fetch_add(1, std::memory_order_relaxed) < 5000) {
    }
    --g_running;
}
} // namespace

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))
#define TEST_ENTRY(name, step, batch)                                                              \
    TEST_EXPORT void name(char* data, const char*, std::int32_t length) {                          \
        Transform(data, length, step, batch);                                                      \
    }

TEST_ENTRY(ENCRYPTFUNC, 1, false)
TEST_ENTRY(DECRYPTFUNC, -1, false)
#ifdef QUILLMAR_BATCH
TEST_ENTRY(ENCRYPTBLOCKS, 1, true)
TEST_ENTRY(DECRYPTBLOCKS, -1, true)
#endif
TEST_EXPORT int THREADSAFE() {
    return QUILLMAR_THREADSAFE;
}
TEST_EXPORT int test_most_at_once() {
    return g_most.exchange(0);
}
// Read once the calls are over; built by the same compiler as the tests.
TEST_EXPORT std::vector<int>* test_lengths() {
    return &g_lengths;
}
