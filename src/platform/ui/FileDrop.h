#pragma once
// Files dragged from the desktop onto a path field.

#include <string_view>

namespace quillmar {

class CDialog;

// The field with this identifier takes a dropped file: its text becomes the
// file's full path (the first one, when several are dropped). Other drops
// keep the field's usual behaviour. A file whose name is not text is refused
// with notTextMessage (%1: the name).
void AcceptFileDrops(CDialog& dialog, int id, std::string_view notTextMessage);

} // namespace quillmar
