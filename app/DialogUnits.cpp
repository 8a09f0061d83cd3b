#include "app/DialogUnits.h"

#include <cstdlib>

#include <QFont>
#include <QFontMetrics>

namespace quillmere {

namespace {

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
  const long long nProduct = static_cast<long long>(a) * b;
  const long long nHalf = c / 2;
  return static_cast<int>(nProduct >= 0 ? (nProduct + nHalf) / c : (nProduct - nHalf) / c);
}

}  // namespace

SDialogUnits SDialogUnits::FromFont(const QFont& font) {
  const QFontMetrics metrics(font);
  const int nWidth =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  SDialogUnits units;
  units.nBaseX = (nWidth / 26 + 1) / 2;
  units.nBaseY = metrics.height();
  return units;
}

QRect SDialogUnits::ToPixels(int x, int y, int cx, int cy) const {
  const int nLeft = MulDiv(x, nBaseX, 4);
  const int nTop = MulDiv(y, nBaseY, 8);
  const int nRight = MulDiv(x + cx, nBaseX, 4);
  const int nBottom = MulDiv(y + cy, nBaseY, 8);
  return QRect(nLeft, nTop, nRight - nLeft, nBottom - nTop);
}

}  // namespace quillmere
