#pragma once
// Window-level helpers: dots per inch, scaling, and the system's UI font.

#include "platform/unique_handle.h"

#include <windows.h>

namespace sheen {

// The dots per inch the window is drawn at. The program is DPI-aware, so this
// is the system's DPI, or the monitor's where Windows tells it per window.
int WindowDpi(HWND window);

// Layout is kept in twips (1/1440 inch); this is the one place that turns
// them into pixels.
inline int TwipsToPixels(int twips, int dpi) {
    return ::MulDiv(twips, dpi, 1440);
}

// The system's message font, sized for `dpi`.
UniqueFont CreateMessageFont(int dpi);

// Gives `window` the outer size whose client area is `clientWidth` x
// `clientHeight` pixels, keeping its position.
void SetClientSize(HWND window, int clientWidth, int clientHeight);

} // namespace sheen
