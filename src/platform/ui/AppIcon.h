#pragma once

#include <QIcon>

namespace quillmar {

// The application icon (resource 128).
QIcon AppIcon();

} // namespace quillmar
