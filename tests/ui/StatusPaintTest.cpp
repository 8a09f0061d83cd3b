// Painting of the status panel, checked by the colours of its pixels.
#include <QImage>
#include <QPainter>
#include <QTest>

#include "ui/StatusPaint.h"
#include "ui/StatusText.h"

namespace quillmere {
namespace {

const QRgb kGrey = qRgb(192, 192, 192);
const QRgb kDone = qRgb(0, 192, 0);
const QRgb kRemaining = qRgb(192, 0, 0);
const QRgb kOutside = qRgb(1, 2, 3);

// The panel sits at (10, 10) in a larger image, so paint outside it shows.
const QRect kPanel(10, 10, 400, 6 * kStatusLineHeight);

QImage Paint(const SStatusView& view) {
  QImage image(kPanel.right() + 11, kPanel.bottom() + 11, QImage::Format_RGB32);
  image.fill(kOutside);
  QPainter painter(&image);
  PaintStatusView(painter, kPanel, view);
  return image;
}

// Whether every pixel of rc has the colour rgb.
bool AllOf(const QImage& image, const QRect& rc, QRgb rgb) {
  for (int y = rc.top(); y <= rc.bottom(); ++y) {
    for (int x = rc.left(); x <= rc.right(); ++x) {
      if (image.pixel(x, y) != rgb) return false;
    }
  }
  return true;
}

int CountOf(const QImage& image, const QRect& rc, QRgb rgb) {
  int n = 0;
  for (int y = rc.top(); y <= rc.bottom(); ++y) {
    for (int x = rc.left(); x <= rc.right(); ++x) n += image.pixel(x, y) == rgb ? 1 : 0;
  }
  return n;
}

int CountNot(const QImage& image, const QRect& rc, QRgb rgb) {
  return rc.width() * rc.height() - CountOf(image, rc, rgb);
}

QRect Band(int nLine) {  // 1-based, as the panel numbers its lines
  return QRect(kPanel.left(), kPanel.top() + (nLine - 1) * kStatusLineHeight, kPanel.width(),
               kStatusLineHeight);
}

// Everything around the panel keeps its colour.
bool NothingOutside(const QImage& image) {
  const QRect rcAll = image.rect();
  for (int y = 0; y < rcAll.height(); ++y) {
    for (int x = 0; x < rcAll.width(); ++x) {
      if (!kPanel.contains(x, y) && image.pixel(x, y) != kOutside) return false;
    }
  }
  return true;
}

class TestStatusPaint : public QObject {
  Q_OBJECT

 private slots:
  void bar_data() {
    QTest::addColumn<double>("dFraction");
    QTest::addColumn<int>("nSplit");  // first column of the remaining part, from the left
    QTest::newRow("nothing done") << 0.0 << 0;
    QTest::newRow("a quarter") << 0.25 << 100;
    QTest::newRow("truncated column") << 0.999 << 399;
    QTest::newRow("all done") << 1.0 << 400;
  }
  void bar() {
    QFETCH(double, dFraction);
    QFETCH(int, nSplit);
    SStatusView view;
    view.arrLines = {"Copying files", "From:/a", "  To:/b", "Copying 0 bytes Time remain ",
                     "Files-1 Selected-1 Done-0 Errors-0 "};
    view.bBar = true;
    view.dFraction = dFraction;
    view.strPercent = std::to_string(static_cast<int>(dFraction * 100)) + " % ";
    const QImage image = Paint(view);
    const QRect rcBar = Band(6);
    // Columns at the edges of each part; the percentage sits in the middle.
    if (nSplit > 0) {
      QVERIFY(AllOf(image, QRect(rcBar.left(), rcBar.top(), 1, rcBar.height()), kDone));
      QVERIFY(AllOf(image, QRect(rcBar.left() + nSplit - 1, rcBar.top(), 1, rcBar.height()), kDone));
    }
    if (nSplit < kPanel.width()) {
      QVERIFY(AllOf(image, QRect(rcBar.left() + nSplit, rcBar.top(), 1, rcBar.height()), kRemaining));
      QVERIFY(AllOf(image, QRect(rcBar.right(), rcBar.top(), 1, rcBar.height()), kRemaining));
    }
    // The percentage: pixels of neither part.
    QVERIFY(rcBar.width() * rcBar.height() - CountOf(image, rcBar, kDone) -
                CountOf(image, rcBar, kRemaining) >
            0);
    QVERIFY(NothingOutside(image));
  }

  void summary_data() {
    QTest::addColumn<bool>("bErrors");
    QTest::addColumn<QRgb>("rgbBehind");
    QTest::addColumn<QRgb>("rgbNot");
    QTest::newRow("no errors: green") << false << qRgb(0, 128, 0) << qRgb(160, 0, 0);
    QTest::newRow("errors: dark red") << true << qRgb(160, 0, 0) << qRgb(0, 128, 0);
  }
  void summary() {
    QFETCH(bool, bErrors);
    QFETCH(QRgb, rgbBehind);
    QFETCH(QRgb, rgbNot);
    SStatusView view;
    view.arrLines = {"Done: Files-1 Selected-1 Done-1 Errors-0 "};
    view.bSummary = true;
    view.bErrors = bErrors;
    const QImage image = Paint(view);
    // The colour lies behind the text, from the left edge, not across the whole line.
    QVERIFY(CountOf(image, Band(1), rgbBehind) > 100);
    QCOMPARE(CountOf(image, Band(1), rgbNot), 0);
    QCOMPARE(image.pixel(Band(1).left(), Band(1).top() + 1), rgbBehind);
    QVERIFY(AllOf(image, QRect(Band(1).right() - 4, Band(1).top(), 5, kStatusLineHeight), kGrey));
    QVERIFY(AllOf(image, Band(2).united(Band(6)), kGrey));
    QVERIFY(NothingOutside(image));
  }

  void longLineIsCutAtThePanelEdge() {
    SStatusView view;
    view.arrLines = {"Building file list...", "Path:/" + std::string(400, 'W'), ""};
    const QImage image = Paint(view);
    QVERIFY(CountNot(image, Band(2), kGrey) > 0);
    // Nothing spills into the line below or past the right edge.
    QVERIFY(AllOf(image, Band(3).united(Band(6)), kGrey));
    QVERIFY(NothingOutside(image));
  }

  void idleTextOnGrey() {
    SStatusView view = ComputeStatusView(SStatusSnapshot{});
    const QImage image = Paint(view);
    QVERIFY(CountNot(image, Band(1), kGrey) > 0);
    QVERIFY(CountNot(image, Band(2), kGrey) > 0);
    QVERIFY(AllOf(image, Band(3).united(Band(6)), kGrey));
  }
};

}  // namespace
}  // namespace quillmere

QTEST_MAIN(quillmere::TestStatusPaint)
#include "StatusPaintTest.moc"
