// A picture of one input of a run: its bytes as a bar, every stream found
// drawn over its byte range in the colour of its format's row of the table
// (a bank's members as blocks of darker shades in its lower half),
// the walk's position as a line. Clicking a stream selects it and says
// which one; selectStream() selects one from outside (the results table).
#pragma once

#include <QColor>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Pixels [left, left + width) of a bar `width` pixels wide standing for
// bytes [0, extent).
struct PixelSpan {
  int left = 0;
  int width = 0;
};

// The pixels of the bytes [offset, offset + length): at least one pixel, so
// that a short stream in a long input still shows.
PixelSpan StreamPixels(int64_t offset, int64_t length, int64_t extent, int width);
// The pixel column of byte `offset`.
int PositionPixel(int64_t offset, int64_t extent, int width);
// The colour of the format of row `row` of the table of formats, from a
// palette of colours far apart from each other, so that no two formats of
// a run look alike.
QColor FormatColour(size_t row);
// How many rows the palette tells apart.
size_t FormatColourCount();
// The text of a stream's tooltip: its format, offset and length.
QString StreamToolTip(size_t row, int64_t offset, int64_t length);
// The row of the table of formats whose kind name is `kind`; past the last
// row for none.
size_t RowOfKind(const std::string& kind);

class QPainter;

class StreamStrip : public QWidget {
  Q_OBJECT

 public:
  struct Stream {
    int64_t number = 0;
    int64_t offset = 0, length = 0;
    size_t row = 0;  // the format's row of the table
    // A bank's members: their offsets in the input and their lengths.
    std::vector<std::pair<int64_t, int64_t>> members = {};
  };

  explicit StreamStrip(QWidget* parent = nullptr);

  // Forgets every input (a run begins).
  void clear();
  // The input `input` begins: the strip shows it.
  void beginInput(const QString& input);
  // The walk is at `offset` of the shown input, whose window ends at `end`.
  void walkedTo(int64_t offset, int64_t end);
  // The walk is over: no position is drawn.
  void hidePosition();
  void addStream(const QString& input, const Stream& stream);

  const QString& shownInput() const { return shown_; }
  // The number of the stream at pixel column `x` of the shown input, or -1.
  int64_t streamAt(int x) const;
  // The stream drawn at pixel `x`, or null.
  const Stream* streamAtPixel(int x) const;
  int64_t selected() const { return selected_; }
  // Bytes the bar stands for: the window's end or the end of the furthest
  // stream, whichever is further.
  int64_t extent() const;
  int64_t position() const { return position_; }
  // The rows of the table of formats the run has found streams of, in the
  // order of their first stream: the legend of the picture.
  const std::vector<size_t>& legend() const { return legend_; }
  QSize sizeHint() const override { return {200, 14}; }

 public slots:
  // Shows `input` with its stream `number` outlined.
  void selectStream(const QString& input, const QString& format, qint64 number);

 signals:
  void streamClicked(const QString& input, const QString& format, qint64 number);
  // A format is added to the legend, or the legend is emptied.
  void legendChanged();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  struct Picture {
    int64_t end = 0;
    std::vector<Stream> streams;
  };
  const Picture* shownPicture() const;

  // Repaints at most every 100 ms while a run adds streams and moves the
  // position: a paint draws every stream, and a run may find 100 000.
  void scheduleUpdate();
  void drawMembers(QPainter& painter, const Stream& stream, const PixelSpan& bank,
                   int64_t extent) const;

  std::map<QString, Picture> inputs_;
  QTimer* repaint_ = nullptr;
  QString shown_;
  int64_t position_ = -1;
  int64_t selected_ = -1;
  size_t selectedRow_ = 0;  // the format of the selected stream
  std::vector<size_t> legend_;
};
