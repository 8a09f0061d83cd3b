#pragma once

#include <QRect>

class QFont;

namespace quillmere {

// Dialog units: a layout measure that grows with the dialog's font, so the window keeps
// its proportions at any font size. One horizontal unit is a quarter of the font's
// average character width, one vertical unit an eighth of its height.
struct SDialogUnits {
  int nBaseX = 0;  // average width of the letters A-Z and a-z, in pixels
  int nBaseY = 0;  // font height, in pixels

  static SDialogUnits FromFont(const QFont& font);

  // A rectangle given in dialog units, in pixels; each edge is rounded on its own, as
  // dialog templates have always been laid out.
  QRect ToPixels(int x, int y, int cx, int cy) const;
};

}  // namespace quillmere
