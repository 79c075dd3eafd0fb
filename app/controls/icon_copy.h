// Grey and darker copies of an icon, for a button's out state.
#pragma once

#include <windows.h>

namespace controls {

enum class IconTone { Grey, Darker };

// A new icon with the source's mask whose non-black pixels are toned; null on failure.
HICON MakeTonedIcon(HICON source, IconTone tone);

}  // namespace controls
