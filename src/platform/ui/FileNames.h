#pragma once
// A file name is bytes; a text field holds text. A name whose bytes do not
// come back unchanged from text must be refused, never swapped for the
// look-alike that the text names.

#include <QString>

#include <string>
#include <string_view>

namespace quillmar {

class CDialog;

// Whether bytes come back unchanged from a text field.
bool HoldsAsText(std::string_view bytes);

// The bytes of a path that Qt handed over as text (from its file chooser): a
// name that Qt could only show with replacement characters is looked up in
// its folder, so that the bytes it stands for come back, not the look-alike.
std::string FileNameBytes(const QString& path);

// Tells the user that bytes cannot be used: message's %1 becomes the name,
// escaped. Stop icon, the application's name as caption.
void RefuseFileName(const CDialog* owner, std::string_view bytes, std::string_view message);

} // namespace quillmar
