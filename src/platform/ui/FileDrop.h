#pragma once
// Files dragged from the desktop onto a path field.

namespace quillmar {

class CDialog;

// The field with this identifier takes a dropped file: its text becomes the
// file's full path (the first one, when several are dropped). Other drops
// keep the field's usual behaviour.
void AcceptFileDrops(CDialog& dialog, int id);

} // namespace quillmar
