// The picture of the inputs: streams to pixel ranges, a colour a row of the
// table of formats, the walk's position, clicks and selections, and the
// streams a run of the window reports.
#include "app/stream_strip.h"

#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <array>
#include <cmath>
#include <set>

#include "app_test_util.h"
#include "carve/engine/formats.h"

namespace {

// The CIE76 distance of two colours: their distance in CIELAB.
double Distance(const QColor& x, const QColor& y) {
  auto lab = [](const QColor& c) {
    auto linear = [](double u) {
      return u <= 0.04045 ? u / 12.92 : std::pow((u + 0.055) / 1.055, 2.4);
    };
    const double r = linear(c.redF()), g = linear(c.greenF()), b = linear(c.blueF());
    auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116; };
    const double fx = f((0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047);
    const double fy = f(0.2126 * r + 0.7152 * g + 0.0722 * b);
    const double fz = f((0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883);
    return std::array<double, 3>{116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
  };
  const auto p = lab(x), q = lab(y);
  return std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]);
}

}  // namespace

class StreamStripTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InitTestApplication(); }

  void streamsToPixelRanges() {
    const struct {
      int64_t offset, length, extent;
      int width;
      int left, pixels;
    } cases[] = {
        {0, 100, 100, 200, 0, 200},           // the whole input
        {25, 50, 100, 200, 50, 100},          // the middle half
        {0, 1, 1'000'000, 100, 0, 1},         // a short stream still shows
        {999'999, 1, 1'000'000, 100, 99, 1},  // at the very end
        {90, 50, 100, 100, 90, 10},           // past the end: held to the bar
        {int64_t{1} << 40, int64_t{1} << 39, int64_t{1} << 41, 400, 200, 100},
        {10, 10, 0, 100, 0, 1},  // nothing known of the input yet
        {0, 10, 10, 0, 0, 0},    // no room at all
    };
    for (const auto& c : cases) {
      const PixelSpan span = StreamPixels(c.offset, c.length, c.extent, c.width);
      QCOMPARE(span.left, c.left);
      QCOMPARE(span.width, c.pixels);
    }
    QCOMPARE(PositionPixel(0, 1000, 100), 0);
    QCOMPARE(PositionPixel(500, 1000, 100), 50);
    QCOMPARE(PositionPixel(1000, 1000, 100), 99);
  }

  // No two rows of the table look alike, nor a row like the bar's ground:
  // their colours lie far apart in CIELAB.
  void coloursOfTheRowsLookUnlike() {
    const size_t rows = Formats().size();
    QVERIFY(FormatColourCount() >= rows);
    const QColor ground = StreamStrip().palette().color(QPalette::Base);
    for (size_t a = 0; a < rows; ++a) {
      QVERIFY2(Distance(FormatColour(a), ground) >= 30, qPrintable(QString::number(a)));
      for (size_t b = a + 1; b < rows; ++b) {
        QVERIFY2(Distance(FormatColour(a), FormatColour(b)) >= 25,
                 qPrintable(QString("%1 and %2").arg(a).arg(b)));
      }
    }
  }

  // A stream's tooltip names its format, offset and length; the legend lists
  // the formats of the run once each, in the order they were found.
  void streamToolTipAndLegend() {
    QCOMPARE(StreamToolTip(0, 0x1A2B, 1234), QStringLiteral("MP3  オフセット 0x1A2B  1,234バイト"));
    StreamStrip strip;
    QSignalSpy changed(&strip, &StreamStrip::legendChanged);
    strip.beginInput("a.bin");
    for (size_t row : {3, 0, 3, 5, 0}) strip.addStream("a.bin", {1, 0, 10, row});
    QCOMPARE(strip.legend(), (std::vector<size_t>{3, 0, 5}));
    QCOMPARE(changed.size(), 3);
    strip.clear();
    QVERIFY(strip.legend().empty());
  }

  void drawnClickedAndSelected() {
    StreamStrip strip;
    strip.resize(200, 14);
    strip.show();
    QSignalSpy clicked(&strip, &StreamStrip::streamClicked);
    strip.beginInput("a.bin");
    strip.walkedTo(50, 1000);                    // the line at pixel 10
    strip.addStream("a.bin", {1, 100, 200, 0});  // pixels 20..59
    strip.addStream("a.bin", {2, 500, 100, 3});  // pixels 100..119
    strip.addStream("other.bin", {1, 0, 1000, 5});
    QCOMPARE(strip.extent(), int64_t{1000});
    QCOMPARE(strip.position(), int64_t{50});

    const struct {
      int x;
      int64_t number;
      QColor colour;
    } points[] = {{10, -1, QColor()}, {20, 1, FormatColour(0)},  {59, 1, FormatColour(0)},
                  {60, -1, QColor()}, {110, 2, FormatColour(3)}, {199, -1, QColor()}};
    const QImage image = strip.grab().toImage();
    for (const auto& p : points) {
      QCOMPARE(strip.streamAt(p.x), p.number);
      if (p.number > 0 && p.number != strip.selected()) {
        QCOMPARE(image.pixelColor(p.x, 7).rgb(), p.colour.rgb());
      }
      QTest::mouseClick(&strip, Qt::LeftButton, {}, QPoint(p.x, 7));
    }
    // A click on a stream says which; elsewhere nothing.
    QCOMPARE(clicked.size(), 3);
    QCOMPARE(clicked[0],
             (QList<QVariant>{QStringLiteral("a.bin"), QStringLiteral("mp3"), qint64{1}}));
    QCOMPARE(clicked[2], (QList<QVariant>{QStringLiteral("a.bin"),
                                          QString::fromUtf8(Formats()[3].kind), qint64{2}}));
    QCOMPARE(strip.selected(), int64_t{2});

    // A bank's members: blocks of alternating darker shades in its lower
    // half, its own colour above them and between them.
    strip.addStream("a.bin", {3, 700, 200, 4, {{720, 60}, {800, 80}}});  // pixels 140..179
    const QImage bank = strip.grab().toImage();
    const QColor colour = FormatColour(4);
    const struct {
      int x, y;
      QColor colour;
    } pixels[] = {{150, 3, colour}, {150, 10, colour.darker(125)}, {157, 10, colour},
                  {165, 3, colour}, {165, 12, colour.darker(160)}, {177, 10, colour},
                  {142, 10, colour}};
    for (const auto& p : pixels) QCOMPARE(bank.pixelColor(p.x, p.y).rgb(), p.colour.rgb());

    // Selected from outside: the strip shows that input.
    strip.selectStream("other.bin", QString::fromUtf8(Formats()[5].kind), 1);
    QCOMPARE(strip.shownInput(), QStringLiteral("other.bin"));
    QCOMPARE(strip.selected(), int64_t{1});
    QCOMPARE(strip.streamAt(150), int64_t{1});
    strip.selectStream("unknown.bin", "mp3", 1);
    QCOMPARE(strip.shownInput(), QStringLiteral("other.bin"));
    QCOMPARE(clicked.size(), 3);
  }

  // A run of the window fills the strip from its reports: every stream of
  // the last input at its place, the position gone once the run is over.
  void aRunFillsTheStrip() {
    QTemporaryDir temp;
    const QString input = temp.filePath("in.bin");
    const QByteArray bytes = InputWithStreams(3, 31, 20000);
    QVERIFY(WriteFile(input, bytes));
    WindowUnderTest w;
    w.find<QLineEdit>("edtInput")->setText(input);
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/%3.3d.mp3");
    StreamStrip* strip = w.window->streamStrip();
    std::vector<int64_t> positions;
    QTimer pump;
    connect(&pump, &QTimer::timeout, [&] { positions.push_back(strip->position()); });
    pump.start(0);
    w.find<QPushButton>("btnExecute")->click();
    pump.stop();
    QCOMPARE(strip->shownInput(), input);
    QCOMPARE(strip->position(), int64_t{-1});
    QVERIFY(std::is_sorted(positions.begin(), positions.end()));
    QVERIFY(positions.size() > 2 && positions.back() > positions.front());
    // The three streams, each at its offset: 20000 bytes of filler, then a
    // 5850-byte stream and 20000 more, and so on.
    const int64_t extent = strip->extent();
    QVERIFY(extent >= bytes.size() - 1);
    for (int64_t number = 1; number <= 3; ++number) {
      const int64_t offset = 20000 + (number - 1) * (5850 + 20000);
      const PixelSpan span = StreamPixels(offset, 5850, extent, strip->width());
      QCOMPARE(strip->streamAt(span.left + span.width / 2), number);
    }
  }
};

QTEST_MAIN(StreamStripTest)
#include "stream_strip_test.moc"
