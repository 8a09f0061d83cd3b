#pragma once

#include "ui/StatusText.h"

class QPainter;
class QRect;

namespace quillmere {

// Height of one line of the status panel, in pixels.
inline constexpr int kStatusLineHeight = 20;

// Paints a computed status view into rcPanel: light grey, then the lines from the top,
// each left-aligned in its own 20-pixel band and cut off at the panel's right edge,
// then the progress bar in the band below the lines, or the summary on green (dark
// red when errors were counted). Draws nothing outside rcPanel and keeps no state.
void PaintStatusView(QPainter& painter, const QRect& rcPanel, const SStatusView& view);

}  // namespace quillmere
