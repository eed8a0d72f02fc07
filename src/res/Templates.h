#pragma once
// The dialog templates of the program.

#include "platform/ui/DialogTemplate.h"

namespace quillmar {

extern const DialogTemplate kAboutTemplate; // 100
extern const DialogTemplate kTextTemplate;  // 102
extern const DialogTemplate kFileTemplate;  // 132
extern const DialogTemplate kGuideTemplate; // 133
extern const DialogTemplate kMailTemplate;  // 136
extern const DialogTemplate kMainTemplate;  // 137

} // namespace quillmar
