// A dialog template in memory, changed so that the dialog is created as a
// child window at its parent's origin: pop-up, minimised, maximised, border,
// dialog frame, system menu, sizing frame and modal frame removed; child and
// clip-siblings added; x and y set to 0. Both the plain and the extended
// template layout are understood.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrel::fwupdate {

inline constexpr uint32_t CHILD_STYLE_MASK = 0x5E33FF7F;
inline constexpr uint32_t CHILD_STYLE_BITS = 0x44000000;  // WS_CHILD | WS_CLIPSIBLINGS

// False (and the bytes unchanged) when the block is too short to be a
// template of its kind.
bool patchChildDialogTemplate(std::vector<uint8_t>& dialogTemplate);

}  // namespace kestrel::fwupdate
