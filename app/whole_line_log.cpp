#include "app/whole_line_log.h"

#include <QAbstractItemModel>
#include <QListView>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

// With uniform item sizes the list sizes every row like one sample row, so
// the sample is made as wide as the widest line added since the list was
// last empty; the rows keep their height. Painting and everything else
// about a row stay with the delegate the list had.
class WholeLineDelegate : public QStyledItemDelegate {
 public:
  explicit WholeLineDelegate(QListView* list)
      : QStyledItemDelegate(list), list_(list), inner_(list->itemDelegate()) {
    QAbstractItemModel* model = list->model();
    QObject::connect(model, &QAbstractItemModel::rowsInserted, this,
                     [this](const QModelIndex&, int first, int last) {
                       for (int row = first; row <= last; ++row) measure(row);
                     });
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, this, [this] {
      if (list_->model()->rowCount() == 0) widestText_ = 0;
    });
    QObject::connect(model, &QAbstractItemModel::modelReset, this, [this] { widestText_ = 0; });
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    inner_->paint(painter, option, index);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = inner_->sizeHint(option, index);
    // The sample's own text width is replaced by the widest one; the
    // margins around the text stay.
    const int ownText = option.fontMetrics.horizontalAdvance(index.data().toString());
    size.setWidth(std::max(size.width(), size.width() - ownText + widestText_));
    return size;
  }

 private:
  void measure(int row) {
    const QString text = list_->model()->index(row, 0).data().toString();
    // Shaping every line costs more than the rest of a line's way into the
    // log: a Latin-1 line that cannot be wider than the widest one, even were
    // each of its characters the widest Latin-1 one, is not measured.
    // ASCII lines (the stream lines) are held against the widest ASCII
    // character: in a CJK font some Latin-1 symbols are twice as wide.
    const char16_t highest = Highest(text);
    if (highest < 0x100 &&
        text.size() * widestBelow(highest < 0x80 ? 0x80 : 0x100) <= widestText_) {
      return;
    }
    widestText_ = std::max(widestText_, list_->fontMetrics().horizontalAdvance(text));
  }

  // The highest code unit of `text`.
  static char16_t Highest(const QString& text) {
    char16_t highest = 0;
    for (QChar c : text) highest = std::max(highest, c.unicode());
    return highest;
  }

  // The widest advance, in the list's font now, of a character from U+0020
  // up to `end` (0x80: ASCII, 0x100: Latin-1).
  int widestBelow(char16_t end) {
    const QFont font = list_->font();
    if (latin1Font_ != font || widestLatin1_ == 0) {
      latin1Font_ = font;
      const QFontMetrics metrics(font);
      widestAscii_ = widestLatin1_ = 1;
      for (char16_t c = 0x20; c < 0x100; ++c) {
        const int advance = metrics.horizontalAdvance(QChar(c));
        widestLatin1_ = std::max(widestLatin1_, advance);
        if (c < 0x80) widestAscii_ = std::max(widestAscii_, advance);
      }
    }
    return end <= 0x80 ? widestAscii_ : widestLatin1_;
  }

  QListView* list_;
  QAbstractItemDelegate* inner_;  // owned by the list
  int widestText_ = 0;
  QFont latin1Font_;      // the font `widestLatin1_` was measured in
  int widestLatin1_ = 0;  // 0: not yet measured
  int widestAscii_ = 0;
};

}  // namespace

void ShowWholeLines(QListView* list) {
  list->setTextElideMode(Qt::ElideNone);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list->setItemDelegate(new WholeLineDelegate(list));
}
