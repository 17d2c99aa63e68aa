// A dialog template of resources/DialogTemplates.h as the in-memory
// DLGTEMPLATEEX that DialogBoxIndirectParamW takes: the same ids, captions,
// places in dialog units and font as the Qt window builds from the same data.
#pragma once

#include <cstdint>
#include <vector>

#include "resources/DialogTemplates.h"

// The window classes of the two controls that this program draws itself.
inline constexpr wchar_t kMessageLabelClass[] = L"BrontaflexMessageLabel";
inline constexpr wchar_t kPercentProgressBarClass[] = L"BrontaflexPercentProgressBar";

// The template as DWORD-aligned words, ready for the dialog functions.
std::vector<uint16_t> BuildDialogTemplate(const DialogTemplate& dialogTemplate);
