// A cipher module for tests: records every call and leaves the data as it
// is, except that a key starting with "nul:" puts a zero byte mid-way.
#include "RecordedCall.h"

#include <cstdint>
#include <cstring>

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::vector<quillmar::test::RecordedCall> g_calls;

void Record(const char* entry, char* data, const char* key, std::int32_t length) {
    g_calls.push_back(
        {entry, std::string(data, length > 0 ? std::size_t(length) : 0), key, length});
    if (std::strncmp(key, "nul:", 4) == 0 && length > 1)
        data[length / 2] = 0;
}
} // namespace

TEST_EXPORT void ENCRYPTFUNC(char* data, const char* key, std::int32_t length) {
    Record("ENCRYPTFUNC", data, key, length);
}
#ifndef ENCRYPT_ONLY
TEST_EXPORT void DECRYPTFUNC(char* data, const char* key, std::int32_t length) {
    Record("DECRYPTFUNC", data, key, length);
}
#endif
// Built by the same compiler as the tests, so they can share the list itself.
TEST_EXPORT std::vector<quillmar::test::RecordedCall>* test_calls() {
    return &g_calls;
}
