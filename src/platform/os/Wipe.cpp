#include "platform/os/Wipe.h"

#include <string.h>

namespace quillmar {

void SecureWipe(void* data, std::size_t size) {
    if (data && size)
        explicit_bzero(data, size);
}

} // namespace quillmar
