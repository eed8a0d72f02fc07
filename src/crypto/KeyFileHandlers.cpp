#include "KeyFileHandlers.h"

namespace quillmar {

// Key files arrive in a later step.
void SaveKeyFromField(CDialog&, int, std::string&) {}
void LoadKeyIntoField(CDialog&, int, std::string&) {}

} // namespace quillmar
