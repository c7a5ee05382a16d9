#include "app/stream_strip.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <iterator>

#include "carve/engine/formats.h"

namespace {

int64_t Scaled(int64_t offset, int64_t extent, int width) {
  if (extent <= 0) return 0;
  const double share =
      static_cast<double>(std::clamp<int64_t>(offset, 0, extent)) / static_cast<double>(extent);
  return static_cast<int64_t>(share * width);
}

}  // namespace

PixelSpan StreamPixels(int64_t offset, int64_t length, int64_t extent, int width) {
  if (width <= 0) return {};
  const int64_t left = std::min<int64_t>(Scaled(offset, extent, width), width - 1);
  const int64_t right = std::max<int64_t>(Scaled(offset + length, extent, width), left + 1);
  return {static_cast<int>(left), static_cast<int>(right - left)};
}

int PositionPixel(int64_t offset, int64_t extent, int width) {
  return static_cast<int>(std::min<int64_t>(Scaled(offset, extent, width), width - 1));
}

namespace {

// Colours far apart in CIELAB (34 at the least between any two, 40 from
// white), picked one by one as the colour furthest from those before it,
// in the order the table's rows take them.
constexpr QRgb kPalette[] = {
    0x2E6FD8, 0xE8871E, 0x3BA33B, 0xF20C7F, 0x0C0CF2, 0x0CDBF2, 0x59403A, 0xF2F20C,
    0xF23CF2, 0x0CF20C, 0xF29DE9, 0x590459, 0xF20C23, 0xF2F29D, 0x7F751F, 0xF2A59D,
    0x7F1206, 0x067F67, 0x3CF2BB, 0x5708A5, 0x4A81A5, 0x042E59, 0xA54A6F, 0xAF6DF2,
};

}  // namespace

QColor FormatColour(size_t row) { return QColor(kPalette[row % std::size(kPalette)]); }

size_t FormatColourCount() { return std::size(kPalette); }

QString StreamToolTip(size_t row, int64_t offset, int64_t length) {
  const auto rows = Formats();
  const QString kind = row < rows.size()
                           ? QString::fromLatin1(rows[row].command.data(),
                                                 static_cast<qsizetype>(rows[row].command.size()))
                           : QString();
  //: The tooltip of a stream in the picture of the input: %1 its format,
  //: %2 its offset in hexadecimal, %3 its length in bytes.
  return QCoreApplication::translate("StreamStrip", "%1  オフセット 0x%2  %3バイト")
      .arg(kind.toUpper(), QString::number(offset, 16).toUpper(), QLocale().toString(length));
}

size_t RowOfKind(const std::string& kind) {
  const auto rows = Formats();
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].kind == kind) return i;
  }
  return rows.size();
}

StreamStrip::StreamStrip(QWidget* parent) : QWidget(parent) {
  setMinimumHeight(10);
  setCursor(Qt::PointingHandCursor);
  repaint_ = new QTimer(this);
  repaint_->setSingleShot(true);
  repaint_->setInterval(100);
  connect(repaint_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void StreamStrip::scheduleUpdate() {
  if (!repaint_->isActive()) repaint_->start();
}

void StreamStrip::clear() {
  inputs_.clear();
  legend_.clear();
  emit legendChanged();
  shown_.clear();
  position_ = selected_ = -1;
  update();
}

void StreamStrip::beginInput(const QString& input) {
  inputs_[input];
  shown_ = input;
  position_ = selected_ = -1;
  update();
}

void StreamStrip::walkedTo(int64_t offset, int64_t end) {
  Picture& picture = inputs_[shown_];
  picture.end = std::max(picture.end, end);
  position_ = offset;
  scheduleUpdate();
}

void StreamStrip::hidePosition() {
  position_ = -1;
  update();
}

void StreamStrip::addStream(const QString& input, const Stream& stream) {
  inputs_[input].streams.push_back(stream);
  if (std::find(legend_.begin(), legend_.end(), stream.row) == legend_.end()) {
    legend_.push_back(stream.row);
    emit legendChanged();
  }
  if (input == shown_) scheduleUpdate();
}

const StreamStrip::Picture* StreamStrip::shownPicture() const {
  auto it = inputs_.find(shown_);
  return it == inputs_.end() ? nullptr : &it->second;
}

int64_t StreamStrip::extent() const {
  const Picture* picture = shownPicture();
  if (picture == nullptr) return 0;
  int64_t extent = picture->end;
  for (const Stream& s : picture->streams) extent = std::max(extent, s.offset + s.length);
  return extent;
}

int64_t StreamStrip::streamAt(int x) const {
  const Stream* s = streamAtPixel(x);
  return s == nullptr ? -1 : s->number;
}

const StreamStrip::Stream* StreamStrip::streamAtPixel(int x) const {
  const Picture* picture = shownPicture();
  if (picture == nullptr) return nullptr;
  const int64_t all = extent();
  // The last one drawn is on top.
  for (auto s = picture->streams.rbegin(); s != picture->streams.rend(); ++s) {
    const PixelSpan span = StreamPixels(s->offset, s->length, all, width());
    if (x >= span.left && x < span.left + span.width) return &*s;
  }
  return nullptr;
}

void StreamStrip::selectStream(const QString& input, const QString& format, qint64 number) {
  if (inputs_.find(input) == inputs_.end()) return;
  shown_ = input;
  selected_ = number;
  selectedRow_ = RowOfKind(format.toStdString());
  update();
}

bool StreamStrip::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  // Over a stream its own tooltip, elsewhere the picture's.
  auto* help = static_cast<QHelpEvent*>(event);
  const Stream* s = streamAtPixel(help->pos().x());
  QToolTip::showText(help->globalPos(),
                     s != nullptr ? StreamToolTip(s->row, s->offset, s->length) : toolTip(), this);
  return true;
}

void StreamStrip::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect all = rect();
  painter.fillRect(all, palette().color(QPalette::Base));
  const Picture* picture = shownPicture();
  const int64_t bytes = extent();
  if (picture != nullptr && bytes > 0) {
    if (position_ >= 0) {
      // The part walked so far is shaded.
      const int x = PositionPixel(position_, bytes, width());
      painter.fillRect(QRect(0, 0, x, height()), palette().color(QPalette::AlternateBase));
    }
    PixelSpan last{-1, 0};
    size_t lastRow = 0;
    for (const Stream& s : picture->streams) {
      const PixelSpan span = StreamPixels(s.offset, s.length, bytes, width());
      // Streams that fall on the pixels of the one before, in its colour,
      // add nothing (but the selected one is outlined).
      if (span.left == last.left && span.width == last.width && s.row == lastRow &&
          s.number != selected_) {
        continue;
      }
      last = span;
      lastRow = s.row;
      const QRect box(span.left, 0, span.width, height());
      painter.fillRect(box, FormatColour(s.row));
      drawMembers(painter, s, span, bytes);
      if (s.number == selected_ && s.row == selectedRow_) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(box.adjusted(1, 1, -1, -1));
      }
    }
    if (position_ >= 0) {
      painter.setPen(palette().color(QPalette::WindowText));
      const int x = PositionPixel(position_, bytes, width());
      painter.drawLine(x, 0, x, height() - 1);
    }
  }
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(all.adjusted(0, 0, -1, -1));
}

void StreamStrip::drawMembers(QPainter& painter, const Stream& stream, const PixelSpan& bank,
                              int64_t extent) const {
  // A bank of a few pixels has no room to show what it holds.
  if (bank.width < 3 || stream.members.empty()) return;
  const int top = height() / 2;
  const QColor colour = FormatColour(stream.row);
  bool dark = false;
  for (const auto& [offset, length] : stream.members) {
    const PixelSpan span = StreamPixels(offset, length, extent, width());
    painter.fillRect(QRect(span.left, top, span.width, height() - top),
                     colour.darker(dark ? 160 : 125));
    dark = !dark;
  }
}

void StreamStrip::mousePressEvent(QMouseEvent* event) {
  const Stream* s = streamAtPixel(static_cast<int>(event->position().x()));
  if (s == nullptr) return;
  selected_ = s->number;
  selectedRow_ = s->row;
  update();
  emit streamClicked(shown_, QString::fromUtf8(Formats()[s->row].kind), s->number);
}
