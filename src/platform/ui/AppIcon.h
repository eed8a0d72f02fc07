#pragma once

#include <QIcon>

namespace quillmar {

// The application icon, at every size the build rendered.
QIcon AppIcon();

} // namespace quillmar
