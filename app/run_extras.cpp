// The controls beside the classic ones: the formats the Execute button runs
// (a drop-down beside it, made from the table of formats), the picture of the
// inputs with the run's status, and the folder chooser of the output field.
// None of them changes a classic control, text or log line.
#include <QAction>
#include <QBoxLayout>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>

#include "app/frm_main.h"
#include "app/results_view.h"
#include "app/stream_strip.h"
#include "app/text_conv.h"
#include "carve/engine/formats.h"
#include "carve/engine/scan_pass.h"

namespace {

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// `dir` as the folder part of a pattern: every '%' doubled.
std::string PatternFolder(const std::string& dir) {
  std::string folder;
  for (char c : dir) folder += c == '%' ? std::string("%%") : std::string(1, c);
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// A square of `colour`, for a menu entry; a ticked entry's holds a tick, as
// an entry with an icon shows no check box of its own.
QIcon Swatch(const QColor& colour, bool ticked) {
  QPixmap square(12, 12);
  square.fill(colour);
  if (ticked) {
    QPainter painter(&square);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour.lightness() > 140 ? Qt::black : Qt::white, 2));
    painter.drawPolyline(QPolygon({QPoint(2, 6), QPoint(5, 9), QPoint(10, 3)}));
  }
  return QIcon(square);
}

}  // namespace

void TfrmMain::BuildRunExtras() {
  // The formats of the Execute button, beside it.
  btnFormats = new QToolButton(this);
  btnFormats->setObjectName(QStringLiteral("btnFormats"));
  btnFormats->setPopupMode(QToolButton::InstantPopup);
  btnFormats->setFixedHeight(22);
  btnFormats->setToolTip(tr("実行！で抽出する形式を選べます"));
  auto* menu = new QMenu(btnFormats);
  menu->setObjectName(QStringLiteral("mnuFormats"));
  menu->setToolTipsVisible(true);
  menu->addSection(tr("実行！で抽出する形式"));
  for (size_t i = 0; i < Formats().size(); ++i) {
    const FormatRow& row = Formats()[i];
    // The format's name and what it carves, after a swatch of its colour in
    // the picture of the input.
    QAction* action =
        menu->addAction(Swatch(FormatColour(i), false),
                        Latin1(row.command).toUpper() + QStringLiteral("\t") + Latin1(row.usage));
    action->setObjectName(QStringLiteral("fmt_") + Latin1(row.command));
    action->setCheckable(true);
    action->setChecked(row.command == "mp3");
    connect(action, &QAction::triggered, this, [this, action] { FormatTicked(action); });
    FExecuteFormats.push_back(action);
  }
  menu->addSeparator();
  FExecuteAll = menu->addAction(tr("すべて"));
  FExecuteAll->setObjectName(QStringLiteral("fmt_all"));
  FExecuteAll->setCheckable(true);
  connect(FExecuteAll, &QAction::triggered, this, [this] { FormatTicked(FExecuteAll); });
  btnFormats->setMenu(menu);
  auto* strip = findChild<QWidget*>(QStringLiteral("Panel2"));
  // Between the bar and the button, which keeps its place at the right edge.
  qobject_cast<QBoxLayout*>(strip->layout())->insertWidget(1, btnFormats);
  UpdateFormatsCaption();

  // The picture of the inputs and the status, between the tabs and the log.
  auto* row = new QWidget(this);
  row->setObjectName(QStringLiteral("Panel3"));
  row->setFixedHeight(16);
  auto* rowLayout = new QHBoxLayout(row);
  rowLayout->setContentsMargins(1, 1, 1, 1);
  rowLayout->setSpacing(4);
  strStreams = new StreamStrip(row);
  strStreams->setObjectName(QStringLiteral("strStreams"));
  strStreams->setToolTip(tr("見つかったストリームの位置です"));
  lblStatus = new QLabel(row);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  lblStatus->setMinimumWidth(0);
  rowLayout->addWidget(strStreams, 3);
  // A stream chosen in the picture is chosen in the table of results (its
  // tab shown), and the other way round.
  connect(strStreams, &StreamStrip::streamClicked, this,
          [this](const QString& input, const QString& format, qint64 number) {
            FResults->selectStream(FromQ(input), FromQ(format), number);
            if (!FResults->isWindow()) PageControl1->setCurrentWidget(FResults->parentWidget());
          });
  connect(FResults, &ResultsView::streamSelected, this,
          [this](const std::string& input, const std::string& format, int64_t number) {
            strStreams->selectStream(ToQ(input), ToQ(format), number);
          });
  // The legend of the picture: the formats of the run, in their colours.
  lblLegend = new QLabel(row);
  lblLegend->setObjectName(QStringLiteral("lblLegend"));
  lblLegend->setTextFormat(Qt::RichText);
  connect(strStreams, &StreamStrip::legendChanged, this, [this] {
    QString text;
    for (size_t r : strStreams->legend()) {
      text += QStringLiteral("<span style=\"color:%1\">&#9632;</span>%2 ")
                  .arg(FormatColour(r).name(), Latin1(Formats()[r].command).toUpper());
    }
    lblLegend->setText(text.trimmed());
  });
  rowLayout->addWidget(lblLegend);
  rowLayout->addWidget(lblStatus, 2);
  qobject_cast<QBoxLayout*>(layout())->insertWidget(1, row);
  // The window grows by the row, so that the log keeps its rows.
  resize(width(), height() + row->height());

  // The folder chooser of the output field, at its end.
  SpeedButton3 = new QToolButton(edtOutput->parentWidget());
  SpeedButton3->setObjectName(QStringLiteral("SpeedButton3"));
  SpeedButton3->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  SpeedButton3->setIconSize(QSize(16, 16));
  SpeedButton3->setAutoRaise(true);
  SpeedButton3->setFixedSize(22, 22);
  SpeedButton3->setToolTip(tr("出力フォルダを選択できます"));
  qobject_cast<QGridLayout*>(edtOutput->parentWidget()->layout())->addWidget(SpeedButton3, 2, 2);
  connect(SpeedButton3, &QToolButton::clicked, this, &TfrmMain::SpeedButton3Click);
}

std::vector<const FormatRow*> TfrmMain::TickedFormats() const {
  std::vector<const FormatRow*> rows;
  const auto all = Formats();
  for (size_t i = 0; i < all.size(); ++i) {
    if (FExecuteFormats[i]->isChecked()) rows.push_back(&all[i]);
  }
  return rows;
}

void TfrmMain::FormatTicked(QAction* action) {
  if (action == FExecuteAll) {
    // "すべて" ticks every row; unticking it goes back to MP3 alone.
    const bool every = FExecuteAll->isChecked();
    for (size_t i = 0; i < FExecuteFormats.size(); ++i) {
      FExecuteFormats[i]->setChecked(every || Formats()[i].command == "mp3");
    }
  } else if (TickedFormats().empty()) {
    action->setChecked(true);  // one format at least
  }
  UpdateFormatsCaption();
}

void TfrmMain::UpdateFormatsCaption() {
  for (size_t i = 0; i < FExecuteFormats.size(); ++i)
    FExecuteFormats[i]->setIcon(Swatch(FormatColour(i), FExecuteFormats[i]->isChecked()));
  const std::vector<const FormatRow*> rows = TickedFormats();
  FExecuteAll->setChecked(rows.size() == FExecuteFormats.size());
  QString caption;
  if (FExecuteAll->isChecked()) {
    caption = tr("すべて");
  } else if (rows.size() > 2) {
    //: %1 how many formats are ticked.
    caption = tr("%1形式").arg(rows.size());
  } else {
    for (const FormatRow* row : rows) {
      caption +=
          (caption.isEmpty() ? QString() : QStringLiteral("+")) + Latin1(row->command).toUpper();
    }
  }
  btnFormats->setText(caption);
}

void TfrmMain::SpeedButton3Click() {
  Guarded([this] {
    // The chooser starts at the pattern's folder; the name part stays.
    const std::string pattern = FromQ(edtOutput->text());
    bool hasDir = false;
    std::string start = PatternDirectory(pattern, hasDir);
    if (!hasDir) start = FBaseDir;
    if (start.empty()) start = "/";
    std::string name = hasDir ? pattern.substr(pattern.rfind('/') + 1) : pattern;
    if (name.empty()) name = "%3.3d.mp3";
    const std::optional<std::string> dir = FSeam->chooseFolder(this, start);
    if (dir) edtOutput->setText(ToQ(PatternFolder(*dir) + name));
  });
}
