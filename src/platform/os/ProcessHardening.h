#pragma once
// Keeps passwords in memory out of reach: no core file is written when the
// program crashes, and other processes of the same user cannot attach to it
// or read its memory. A file size limit fails a write instead of killing the
// process part-way (SIGXFSZ is ignored).

namespace quillmar {

// Call first thing, before any password exists. False when the system refused
// either step; the program goes on, no worse off than without it.
bool HardenProcess();

} // namespace quillmar
