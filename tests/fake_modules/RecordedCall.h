#pragma once
// What the recording test module keeps of each call; the tests read its list in place.

#include <string>
#include <vector>

namespace quillmar::test {

struct RecordedCall {
    std::string entry;
    std::string data;
    std::string key;
    int length;
};

} // namespace quillmar::test
