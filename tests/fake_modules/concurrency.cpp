// A cipher module for tests that notes how many of its calls ever ran at once.
// Each call adds one to every byte (DECRYPTFUNC takes it away again), so the
// output also shows which blocks went through it.
#include <atomic>
#include <cstdint>

namespace {
std::atomic<int> g_running{0}, g_most{0};

void Transform(char* data, std::int32_t length, int step) {
    const int now = ++g_running;
    for (int most = g_most; now > most && !g_most.compare_exchange_weak(most, now);) {
    }
    for (std::int32_t i = 0; i < length; ++i)
        data[i] = char(data[i] + step);
    // Long enough that calls made at the same time overlap.
    std::atomic<int> spin{0};
    while (spin.fetch_add(1, std::memory_order_relaxed) < 5000) {
    }
    --g_running;
}
} // namespace

extern "C" {
__attribute__((visibility("default"))) void ENCRYPTFUNC(char* data, const char*,
                                                        std::int32_t length) {
    Transform(data, length, 1);
}
__attribute__((visibility("default"))) void DECRYPTFUNC(char* data, const char*,
                                                        std::int32_t length) {
    Transform(data, length, -1);
}
__attribute__((visibility("default"))) int THREADSAFE() {
    return QUILLMAR_THREADSAFE;
}
__attribute__((visibility("default"))) int test_most_at_once() {
    return g_most.exchange(0);
}
}
