// The picture of the inputs: streams to pixel ranges, a colour a row of the
// table of formats, the walk's position, clicks and selections, and the
// streams a run of the window reports.
#include "app/stream_strip.h"

#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <set>

#include "app_test_util.h"
#include "carve/engine/formats.h"

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

  // Every row of the table has a colour of its own, also rows added later.
  void aColourARow() {
    std::set<int> hues;
    const size_t rows = Formats().size() + 8;
    for (size_t row = 0; row < rows; ++row) {
      QCOMPARE(FormatColour(row), FormatColour(row));
      hues.insert(FormatColour(row).hue());
    }
    QCOMPARE(hues.size(), rows);
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
