// A cipher module for tests: records every call and leaves the data as it
// is, except that a key starting with "nul:" puts a zero byte mid-way.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {
struct Call {
    std::string entry, data, key;
    int length;
};
std::vector<Call> g_calls;

void Record(const char* entry, char* data, const char* key, std::int32_t length) {
    g_calls.push_back(
        {entry, std::string(data, length > 0 ? std::size_t(length) : 0), key, length});
    if (std::strncmp(key, "nul:", 4) == 0 && length > 1)
        data[length / 2] = 0;
}
} // namespace

extern "C" {
struct RawCall {
    const char* entry;
    const char* data;
    int dataLen;
    const char* key;
    int length;
};

__attribute__((visibility("default"))) void ENCRYPTFUNC(char* data, const char* key,
                                                        std::int32_t length) {
    Record("ENCRYPTFUNC", data, key, length);
}
#ifndef ENCRYPT_ONLY
__attribute__((visibility("default"))) void DECRYPTFUNC(char* data, const char* key,
                                                        std::int32_t length) {
    Record("DECRYPTFUNC", data, key, length);
}
#endif
__attribute__((visibility("default"))) int test_call_count() {
    return int(g_calls.size());
}
__attribute__((visibility("default"))) RawCall test_call(int i) {
    const Call& c = g_calls[std::size_t(i)];
    return {c.entry.c_str(), c.data.data(), int(c.data.size()), c.key.c_str(), c.length};
}
__attribute__((visibility("default"))) void test_clear_calls() {
    g_calls.clear();
}
}
