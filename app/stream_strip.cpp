#include "app/stream_strip.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

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

QColor FormatColour(size_t row) {
  constexpr size_t kGoldenAngle = 137;
  return QColor::fromHsv(static_cast<int>((row * kGoldenAngle + 210) % 360), 190, 225);
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
