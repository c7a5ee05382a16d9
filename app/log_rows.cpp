#include "app/log_rows.h"

#include <QApplication>
#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

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
    const QWidget* widget = opt.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const QString text = opt.text;

    // Background, selection and focus frame as the style draws them; the
    // style would also cut the text at the row's edges, so the text follows.
    opt.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    opt.text = text;

    // Where the style puts the text: its margins, its eliding, the line's
    // ascent and descent centred on the row.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect box = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget)
                          .adjusted(margin, 0, -margin, 0);
    const QFontMetricsF metrics(opt.font);
    const qreal baseline =
        box.top() + (box.height() - metrics.ascent() - metrics.descent()) / 2 + metrics.ascent();
    const QPointF origin(box.left(), qRound(baseline));
    const QString shown = metrics.elidedText(text, opt.textElideMode, box.width());

    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active) ? QPalette::Active
                                                                            : QPalette::Inactive;
    const bool selected = opt.state & QStyle::State_Selected;
    const QRect around = opt.rect.adjusted(0, -opt.rect.height(), 0, opt.rect.height());
    painter->save();
    painter->setFont(opt.font);
    // Inside the row in the row's colour, beyond it in the plain text colour.
    painter->setClipRect(opt.rect, Qt::IntersectClip);
    painter->setPen(
        opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(origin, shown);
    painter->restore();
    painter->save();
    painter->setFont(opt.font);
    painter->setClipRegion(QRegion(around).subtracted(opt.rect), Qt::IntersectClip);
    painter->setPen(opt.palette.color(group, QPalette::Text));
    painter->drawText(origin, shown);
    painter->restore();
  }

 private:
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

void SetUniformRowHeight(QListWidget* list, int rowHeight) {
  list->setItemDelegate(new UniformRowDelegate(rowHeight, list));
  list->viewport()->installEventFilter(new WholeRepaint(list));
}
