#include "app/results_view.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/player.h"
#include "app/results_model.h"
#include "app/sound_out.h"
#include "app/text_conv.h"
#include "app/ui_seam.h"

namespace {

QToolButton* TextButton(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(ResultsView::tr(caption));
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  return button;
}

QSlider* Slider(QWidget* parent, const char* name, int most) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(QString::fromLatin1(name));
  slider->setRange(0, most);
  return slider;
}

}  // namespace

QString PlayTimeText(double seconds) {
  const auto tenths = static_cast<int64_t>(std::max(0.0, seconds) * 10 + 0.5);
  return QStringLiteral("%1:%2.%3")
      .arg(tenths / 600)
      .arg(tenths / 10 % 60, 2, 10, QLatin1Char('0'))
      .arg(tenths % 10);
}

ResultsView::ResultsView(UiSeam* seam, QWidget* parent, std::unique_ptr<SoundOut> out)
    : QWidget(parent),
      seam_(seam),
      model_(new ResultsModel(this)),
      proxy_(new QSortFilterProxyModel(this)),
      player_(new Player(this, std::move(out))) {
  setObjectName(QStringLiteral("ResultsView"));
  proxy_->setSourceModel(model_);
  proxy_->setSortRole(ResultsModel::SortRole);
  proxy_->setFilterKeyColumn(-1);
  proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);

  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("edtResultFilter"));
  filter_->setPlaceholderText(tr("絞り込み"));
  filter_->setClearButtonEnabled(true);
  play_ = TextButton(this, "btnPlay", QT_TRANSLATE_NOOP("ResultsView", "再生"));
  stop_ = TextButton(this, "btnStop", QT_TRANSLATE_NOOP("ResultsView", "停止"));
  stop_->setEnabled(false);
  auto* folder =
      TextButton(this, "btnShowInFolder", QT_TRANSLATE_NOOP("ResultsView", "フォルダを開く"));
  auto* copy = TextButton(this, "btnCopyCsv", QT_TRANSLATE_NOOP("ResultsView", "CSVでコピー"));
  auto* window =
      TextButton(this, "btnDetachResults", QT_TRANSLATE_NOOP("ResultsView", "別ウィンドウ"));

  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("tblResults"));
  table_->setModel(proxy_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(-1, Qt::AscendingOrder);  // in the order found until a caption is clicked
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  table_->horizontalHeader()->setStretchLastSection(true);
  // Widths from the font rather than from the rows: measuring every row of a
  // large run would cost more than the run.
  const int digit = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
  table_->horizontalHeader()->setDefaultSectionSize(digit * 11);
  table_->setColumnWidth(ResultsModel::Input, digit * 24);
  table_->setColumnWidth(ResultsModel::Output, digit * 24);

  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(0, 0, 0, 0);
  bar->setSpacing(2);
  bar->addWidget(filter_, 1);
  for (QToolButton* button : {play_, stop_, folder, copy, window}) bar->addWidget(button);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(2, 2, 2, 2);
  column->setSpacing(2);
  column->addLayout(bar);
  column->addLayout(playerBar());
  column->addWidget(table_, 1);

  connect(filter_, &QLineEdit::textChanged, proxy_, &QSortFilterProxyModel::setFilterFixedString);
  connect(play_, &QToolButton::clicked, this, &ResultsView::playCurrent);
  connect(stop_, &QToolButton::clicked, this, &ResultsView::stopPlaying);
  connect(folder, &QToolButton::clicked, this, &ResultsView::showCurrentInFolder);
  connect(copy, &QToolButton::clicked, this, &ResultsView::copyRowsAsCsv);
  connect(window, &QToolButton::clicked, this, &ResultsView::detach);
  connect(table_, &QTableView::doubleClicked, this, &ResultsView::playCurrent);
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &ResultsView::rowChanged);
  connect(player_, &Player::playingChanged, stop_, &QToolButton::setEnabled);
  connect(player_, &Player::failed, this, &ResultsView::warn);
}

std::vector<int> ResultsView::shownRows(bool selectedOnly) const {
  std::vector<int> rows;
  const QItemSelectionModel* selection = table_->selectionModel();
  for (int row = 0; row < proxy_->rowCount(); ++row) {
    const QModelIndex index = proxy_->index(row, 0);
    if (selectedOnly && !selection->isRowSelected(row, QModelIndex())) continue;
    rows.push_back(proxy_->mapToSource(index).row());
  }
  return rows;
}

void ResultsView::selectStream(const std::string& input, const std::string& format,
                               int64_t number) {
  const int row = model_->rowOf(input, format, number);
  if (row < 0) return;
  QModelIndex index = proxy_->mapFromSource(model_->index(row, 0));
  if (!index.isValid()) {
    filter_->clear();
    index = proxy_->mapFromSource(model_->index(row, 0));
  }
  selecting_ = true;
  table_->selectRow(index.row());
  table_->scrollTo(index);
  selecting_ = false;
}

void ResultsView::rowChanged(const QModelIndex& current) {
  if (selecting_ || !current.isValid()) return;
  const StreamReport report = model_->report(proxy_->mapToSource(current).row());
  emit streamSelected(report.input, report.format, report.number);
}

int ResultsView::currentRow() const {
  const QModelIndex current = table_->currentIndex();
  return current.isValid() ? proxy_->mapToSource(current).row() : -1;
}

std::string ResultsView::currentOutput() {
  const int row = currentRow();
  if (row < 0) {
    warn(tr("ストリームが選ばれていません。"));
    return {};
  }
  const StreamReport report = model_->report(row);
  if (report.output.empty() || report.status != StreamReport::Status::Written) {
    warn(tr("このストリームには出力ファイルがありません。"));
    return {};
  }
  return report.output;
}

void ResultsView::playCurrent() {
  const std::string output = currentOutput();
  if (!output.empty()) player_->play(output, model_->report(currentRow()).format);
}

void ResultsView::stopPlaying() { player_->stop(); }

void ResultsView::showCurrentInFolder() {
  const std::string output = currentOutput();
  if (output.empty()) return;
  if (seam_->showInFolder(this, output)) return;
  // Without a file manager the path is at hand to paste elsewhere.
  seam_->copyText(output);
  //: %1 the output's path, copied to the clipboard.
  warn(tr("フォルダを開けるファイルマネージャがありません。\nパスをクリップボードにコピーしました:"
          "\n%1")
           .arg(NameToQ(output)));
}

void ResultsView::copyRowsAsCsv() {
  std::vector<int> rows = shownRows(true);
  if (rows.empty()) rows = shownRows(false);
  seam_->copyText(FromQ(model_->csv(rows)));
}

void ResultsView::warn(const QString& text) {
  seam_->messageBox(this, BoxType::Warning, FromQ(text), BoxButtons::Ok, 0);
}

QHBoxLayout* ResultsView::playerBar() {
  time_ = new QLabel(PlayTimeText(0) + QStringLiteral(" / ") + PlayTimeText(0), this);
  time_->setObjectName(QStringLiteral("lblPlayTime"));
  seek_ = Slider(this, "sldSeek", 0);
  seek_->setToolTip(tr("再生位置"));
  auto* volume = Slider(this, "sldVolume", 100);
  volume->setValue(100);
  volume->setToolTip(tr("音量"));
  volume->setMaximumWidth(volume->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 12);
  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(0, 0, 0, 0);
  bar->addWidget(time_);
  bar->addWidget(seek_, 1);
  bar->addWidget(volume);
  connect(player_, &Player::positionChanged, this, [this](double at, double all) {
    time_->setText(PlayTimeText(at) + QStringLiteral(" / ") + PlayTimeText(all));
    seek_->setMaximum(static_cast<int>(all * 1000));
    if (!seek_->isSliderDown()) seek_->setValue(static_cast<int>(at * 1000));
  });
  const auto seekThere = [this] { player_->seek(seek_->sliderPosition() / 1000.0); };
  connect(seek_, &QSlider::sliderReleased, this, seekThere);
  connect(seek_, &QSlider::actionTriggered, this, [this, seekThere](int action) {
    if (action != QAbstractSlider::SliderMove && !seek_->isSliderDown()) seekThere();
  });
  connect(volume, &QSlider::valueChanged, this,
          [this](int value) { player_->setVolume(value / 100.0); });
  return bar;
}

void ResultsView::detach() {
  if (isWindow()) {
    activateWindow();
    return;
  }
  home_ = parentWidget();
  const QSize size(std::max(width(), 800), std::max(height(), 400));
  setParent(nullptr, Qt::Window);
  setWindowTitle(tr("結果"));
  resize(size);
  show();
}

void ResultsView::closeEvent(QCloseEvent* event) {
  if (!isWindow() || home_ == nullptr) return QWidget::closeEvent(event);
  // Back into its tab instead of gone.
  event->ignore();
  setParent(home_);
  home_->layout()->addWidget(this);
  show();
}
