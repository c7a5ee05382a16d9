#include "app/log_rows.h"

#include <QApplication>
#include <QListView>
#include <QPaintEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Rows of one height; each line is drawn with the style's background,
// selection and text placement, but not cut at the row's edges.
class UniformRowDelegate : public QStyledItemDelegate {
 public:
  UniformRowDelegate(int rowHeight, QObject* parent)
      : QStyledItemDelegate(parent), FRowHeight(rowHeight) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(FRowHeight);
    return size;
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;

    // Background, selection and focus frame as the style draws them; the
    // style would also cut the text at the row's edges, so the text follows.
    opt.text.clear();
    Style(opt)->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active) ? QPalette::Active
                                                                            : QPalette::Inactive;
    const bool selected = opt.state & QStyle::State_Selected;
    const QColor plain = opt.palette.color(group, QPalette::Text);
    const QColor inRow = opt.palette.color(group, QPalette::HighlightedText);
    const QRect& row = opt.rect;
    const QRect around = row.adjusted(0, -row.height(), 0, row.height());
    if (!selected) {
      DrawLine(painter, opt, text, row, QRegion(around), plain);
      return;
    }
    // Inside the row in the highlight's text colour, beyond it in the plain
    // text colour; the highlight has covered what the lines next to this one
    // draw into it: draw that again.
    DrawLine(painter, opt, text, row, QRegion(row), inRow);
    DrawLine(painter, opt, text, row, QRegion(around).subtracted(row), plain);
    for (int step : {-1, 1}) {
      const QModelIndex next = index.siblingAtRow(index.row() + step);
      if (next.isValid())
        DrawLine(painter, opt, next.data(Qt::DisplayRole).toString(),
                 row.translated(0, step * row.height()), QRegion(row), inRow);
    }
  }

 private:
  static const QStyle* Style(const QStyleOptionViewItem& opt) {
    return opt.widget ? opt.widget->style() : QApplication::style();
  }

  // Draws `text` where the style puts the text of a row at `row` (its
  // margins, its eliding, the line's ascent and descent centred on the row),
  // only within `clip`.
  static void DrawLine(QPainter* painter, const QStyleOptionViewItem& opt, const QString& text,
                       const QRect& row, const QRegion& clip, const QColor& colour) {
    QStyleOptionViewItem place = opt;
    place.rect = row;
    place.text = text;
    const QStyle* style = Style(opt);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1;
    const QRect box = style->subElementRect(QStyle::SE_ItemViewItemText, &place, opt.widget)
                          .adjusted(margin, 0, -margin, 0);
    const QFontMetricsF metrics(opt.font);
    const qreal baseline =
        box.top() + (box.height() - metrics.ascent() - metrics.descent()) / 2 + metrics.ascent();
    painter->save();
    painter->setClipRegion(clip, Qt::IntersectClip);
    painter->setFont(opt.font);
    painter->setPen(colour);
    painter->drawText(QPointF(box.left(), qRound(baseline)),
                      metrics.elidedText(text, opt.textElideMode, box.width()));
    painter->restore();
  }

  int FRowHeight;
};

// Since glyphs reach beyond their row, a repaint of part of the list is
// followed by one of all of it, so that no line keeps a neighbour's
// descenders wiped out.
class WholeRepaint : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      auto* viewport = static_cast<QWidget*>(watched);
      const QRegion painted = static_cast<QPaintEvent*>(event)->region();
      if (!viewport->visibleRegion().subtracted(painted).isEmpty()) viewport->update();
    }
    return false;
  }
};

}  // namespace

void SetUniformRowHeight(QListView* list, int rowHeight) {
  list->setItemDelegate(new UniformRowDelegate(rowHeight, list));
  list->viewport()->installEventFilter(new WholeRepaint(list));
}
