#include "ui/StatusPaint.h"

#include <QColor>
#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QRect>

namespace quillmere {

namespace {

const QColor kPanelGrey(192, 192, 192);
const QColor kBarDone(0, 192, 0);
const QColor kBarRemaining(192, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kSummaryOk(0, 128, 0);
const QColor kSummaryErrors(160, 0, 0);

constexpr int kLineFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;

}  // namespace

void PaintStatusView(QPainter& painter, const QRect& rcPanel, const SStatusView& view) {
  painter.save();
  painter.setClipRect(rcPanel);
  painter.fillRect(rcPanel, kPanelGrey);
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.setPen(Qt::black);

  QRect rcLine(rcPanel.left(), rcPanel.top(), rcPanel.width(), kStatusLineHeight);
  for (size_t i = 0; i < view.arrLines.size(); ++i) {
    // Paths are bytes from the file system; decode them as the system names files.
    const QString strText = QFile::decodeName(view.arrLines[i].c_str());
    if (view.bSummary && i == 0) {
      // The colour sits behind the text only, not across the whole line.
      const QRect rcText = painter.fontMetrics().boundingRect(rcLine, kLineFlags, strText) & rcLine;
      painter.fillRect(rcText, view.bErrors ? kSummaryErrors : kSummaryOk);
      painter.setPen(kWhite);
      painter.drawText(rcLine, kLineFlags, strText);
      painter.setPen(Qt::black);
    } else {
      painter.drawText(rcLine, kLineFlags, strText);
    }
    rcLine.translate(0, kStatusLineHeight);
  }

  if (view.bBar) {
    // Columns from the left edge (inclusive) to the split (exclusive) are done.
    const int nSplit = rcLine.left() + static_cast<int>(rcLine.width() * view.dFraction);
    const int nRight = rcLine.left() + rcLine.width();
    painter.fillRect(QRect(rcLine.left(), rcLine.top(), nSplit - rcLine.left(), rcLine.height()),
                     kBarDone);
    painter.fillRect(QRect(nSplit, rcLine.top(), nRight - nSplit, rcLine.height()), kBarRemaining);
    painter.setPen(kWhite);
    painter.drawText(rcLine, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                     QString::fromStdString(view.strPercent));
  }
  painter.restore();
}

}  // namespace quillmere
