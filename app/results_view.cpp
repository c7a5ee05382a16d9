#include "app/results_view.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QSlider>
#include <QSortFilterProxyModel>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/player.h"
#include "app/results_model.h"
#include "app/sound_out.h"
#include "app/text_conv.h"
#include "app/ui_seam.h"
#include "app/wav_exporter.h"

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

// The filter as the user types it: a member shows with its bank when the
// bank matches, and a bank with the members that match.
class ResultsProxy : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    if (QSortFilterProxyModel::filterAcceptsRow(row, parent)) return true;
    return parent.isValid() &&
           QSortFilterProxyModel::filterAcceptsRow(parent.row(), parent.parent());
  }
};

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
      proxy_(new ResultsProxy(this)),
      player_(new Player(this, std::move(out))),
      exporter_(new WavExporter(this)) {
  setObjectName(QStringLiteral("ResultsView"));
  proxy_->setSourceModel(model_);
  proxy_->setSortRole(ResultsModel::SortRole);
  proxy_->setFilterKeyColumn(-1);
  proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
  proxy_->setRecursiveFilteringEnabled(true);

  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("edtResultFilter"));
  filter_->setPlaceholderText(tr("絞り込み"));
  filter_->setClearButtonEnabled(true);
  shown_ = new QLabel(this);
  shown_->setObjectName(QStringLiteral("lblResultsShown"));
  play_ = TextButton(this, "btnPlay", QT_TRANSLATE_NOOP("ResultsView", "再生"));
  stop_ = TextButton(this, "btnStop", QT_TRANSLATE_NOOP("ResultsView", "停止"));
  stop_->setEnabled(false);
  auto* folder =
      TextButton(this, "btnShowInFolder", QT_TRANSLATE_NOOP("ResultsView", "フォルダを開く"));
  auto* copy = TextButton(this, "btnCopyCsv", QT_TRANSLATE_NOOP("ResultsView", "CSVでコピー"));
  auto* wav = TextButton(this, "btnExportWav", QT_TRANSLATE_NOOP("ResultsView", "WAVで書き出し…"));
  wav->setToolTip(tr("選んだストリームとメンバーをWAVファイルにします"));
  auto* window =
      TextButton(this, "btnDetachResults", QT_TRANSLATE_NOOP("ResultsView", "別ウィンドウ"));

  // A tree: a bank's row unfolds into its members.
  table_ = new QTreeView(this);
  table_->setObjectName(QStringLiteral("tblResults"));
  table_->setModel(proxy_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(-1, Qt::AscendingOrder);  // in the order found until a caption is clicked
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setWordWrap(false);
  // Paths lose their middle, where they agree, not their ends.
  table_->setTextElideMode(Qt::ElideMiddle);
  table_->setUniformRowHeights(true);  // no row measured: a run may find 100 000
  table_->setAllColumnsShowFocus(true);
  table_->setExpandsOnDoubleClick(false);  // a double-click plays
  table_->header()->setStretchLastSection(true);
  // Widths from the font rather than from the rows: measuring every row of a
  // large run would cost more than the run.
  const int digit = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
  table_->header()->setDefaultSectionSize(digit * 11);
  table_->setColumnWidth(ResultsModel::Input, digit * 24);
  table_->setColumnWidth(ResultsModel::Output, digit * 24);
  // A digest's hex digits whole: 32, 40, 64.
  for (int column : {ResultsModel::Md5, ResultsModel::Sha1, ResultsModel::Sha256})
    table_->setColumnWidth(column, digit * (column == ResultsModel::Md5    ? 34
                                            : column == ResultsModel::Sha1 ? 42
                                                                           : 66));
  setHashes(0);

  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(0, 0, 0, 0);
  bar->setSpacing(2);
  bar->addWidget(filter_, 1);
  bar->addWidget(shown_);
  for (QToolButton* button : {play_, stop_, folder, copy, window}) bar->addWidget(button);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(2, 2, 2, 2);
  column->setSpacing(2);
  column->addLayout(bar);
  // On the player's row: the window keeps the width of the classic tabs.
  QHBoxLayout* player = playerBar();
  player->addWidget(wav);
  column->addLayout(player);
  column->addWidget(table_, 1);

  connect(filter_, &QLineEdit::textChanged, proxy_, &QSortFilterProxyModel::setFilterFixedString);
  // How many of the streams a filter lets through; a new run's rows are
  // never hidden by the filter of the last one.
  for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(proxy_, signal, this, &ResultsView::countShown);
  connect(proxy_, &QAbstractItemModel::modelReset, this, &ResultsView::countShown);
  connect(proxy_, &QAbstractItemModel::layoutChanged, this, &ResultsView::countShown);
  connect(filter_, &QLineEdit::textChanged, this, &ResultsView::countShown);
  connect(model_, &QAbstractItemModel::modelReset, filter_, &QLineEdit::clear);
  connect(play_, &QToolButton::clicked, this, &ResultsView::playCurrent);
  connect(stop_, &QToolButton::clicked, this, &ResultsView::stopPlaying);
  connect(folder, &QToolButton::clicked, this, &ResultsView::showCurrentInFolder);
  connect(copy, &QToolButton::clicked, this, &ResultsView::copyRowsAsCsv);
  connect(window, &QToolButton::clicked, this, &ResultsView::detach);
  connect(wav, &QToolButton::clicked, this, &ResultsView::exportAsWav);
  connect(table_, &QTreeView::doubleClicked, this, &ResultsView::playCurrent);
  // The context menu of the rows.
  table_->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* playAction = new QAction(tr("再生"), table_);
  auto* wavAction = new QAction(tr("WAVで書き出し…"), table_);
  wavAction->setObjectName(QStringLiteral("actExportWav"));
  table_->addActions({playAction, wavAction});
  connect(playAction, &QAction::triggered, this, &ResultsView::playCurrent);
  connect(wavAction, &QAction::triggered, this, &ResultsView::exportAsWav);
  connect(exporter_, &WavExporter::progressed, this, [this](int done, int all) {
    if (progress_ == nullptr) return;
    progress_->setMaximum(all);
    progress_->setValue(done);
  });
  connect(exporter_, &WavExporter::finished, this, &ResultsView::exportFinished);
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &ResultsView::rowChanged);
  connect(player_, &Player::playingChanged, stop_, &QToolButton::setEnabled);
  connect(player_, &Player::failed, this, &ResultsView::warn);
}

std::vector<std::pair<int, int>> ResultsView::selectedItems() const {
  std::vector<std::pair<int, int>> items;
  const QItemSelectionModel* selection = table_->selectionModel();
  for (int row = 0; row < proxy_->rowCount(); ++row) {
    const QModelIndex bank = proxy_->index(row, 0);
    const int source = proxy_->mapToSource(bank).row();
    if (selection->isRowSelected(row, QModelIndex())) items.emplace_back(source, -1);
    for (int child = 0; child < proxy_->rowCount(bank); ++child) {
      if (selection->isRowSelected(child, bank))
        items.emplace_back(source, proxy_->mapToSource(proxy_->index(child, 0, bank)).row());
    }
  }
  return items;
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
  table_->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  table_->scrollTo(index);
  selecting_ = false;
}

void ResultsView::rowChanged(const QModelIndex& current) {
  if (selecting_ || !current.isValid()) return;
  // A member's row selects its bank elsewhere.
  const StreamReport report = model_->report(model_->rowOfIndex(proxy_->mapToSource(current)));
  emit streamSelected(report.input, report.format, report.number);
}

int ResultsView::currentRow() const { return currentRow(nullptr); }

int ResultsView::currentRow(int* member) const {
  return model_->rowOfIndex(proxy_->mapToSource(table_->currentIndex()), member);
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
  int member = -1;
  const int row = currentRow(&member);
  const std::string output = currentOutput();
  if (output.empty()) return;
  // A bank plays its first member.
  if (member < 0 && model_->memberCount(row) > 0) member = 0;
  if (member >= 0)
    player_->playMember(model_->report(row), model_->member(row, member));
  else
    player_->play(output, model_->report(row).format);
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

std::vector<std::pair<int, int>> ResultsView::csvItems() const {
  std::vector<std::pair<int, int>> chosen = selectedItems();
  std::sort(chosen.begin(), chosen.end());
  const bool all = chosen.empty();
  std::vector<std::pair<int, int>> items;
  for (int row = 0; row < proxy_->rowCount(); ++row) {
    const QModelIndex bank = proxy_->index(row, 0);
    const int source = proxy_->mapToSource(bank).row();
    const auto at = std::lower_bound(chosen.begin(), chosen.end(), std::pair(source, -1));
    const bool bankChosen = at != chosen.end() && *at == std::pair(source, -1);
    // A bank chosen alone brings its members along.
    const bool membersChosen =
        at + (bankChosen ? 1 : 0) != chosen.end() && (at + (bankChosen ? 1 : 0))->first == source;
    if (all || bankChosen) items.emplace_back(source, -1);
    for (int child = 0; child < proxy_->rowCount(bank); ++child) {
      const int member = proxy_->mapToSource(proxy_->index(child, 0, bank)).row();
      const bool chosenMember =
          std::binary_search(chosen.begin(), chosen.end(), std::pair(source, member));
      if (all || chosenMember || (bankChosen && !membersChosen)) items.emplace_back(source, member);
    }
  }
  return items;
}

void ResultsView::setHashes(unsigned kinds) {
  model_->setHashes(kinds);
  for (int column = ResultsModel::Md5; column <= ResultsModel::Sha256; ++column)
    table_->setColumnHidden(column, model_->columnHidden(column));
}

void ResultsView::copyRowsAsCsv() { seam_->copyText(FromQ(model_->csv(csvItems()))); }

void ResultsView::exportAsWav() {
  if (exporter_->running()) return;
  std::vector<WavExportItem> items;
  for (const auto& [row, member] : selectedItems()) items.push_back({model_->report(row), member});
  if (items.empty()) return warn(tr("ストリームが選ばれていません。"));
  std::string start = exportFolder_;
  if (start.empty()) {
    const std::string& output = items.front().report.output;
    const size_t slash = output.find_last_of('/');
    start = slash == std::string::npos ? std::string() : output.substr(0, slash);
  }
  const std::optional<std::string> folder = seam_->chooseFolder(this, start);
  if (!folder) return;
  exportFolder_ = *folder;
  progress_ = new QProgressDialog(tr("WAVで書き出しています…"), tr("キャンセル"), 0,
                                  static_cast<int>(items.size()), this);
  progress_->setObjectName(QStringLiteral("dlgExportProgress"));
  progress_->setWindowModality(Qt::WindowModal);
  progress_->setAutoReset(false);
  progress_->setMinimumDuration(500);
  connect(progress_, &QProgressDialog::canceled, exporter_, &WavExporter::cancel);
  exporter_->start(std::move(items), *folder);
}

void ResultsView::exportFinished(const QStringList& failures) {
  if (progress_ != nullptr) {
    progress_->disconnect(exporter_);
    progress_->deleteLater();
    progress_ = nullptr;
  }
  if (failures.isEmpty()) return;
  //: Before the list of the streams and members that Export as WAV could not write.
  warn(tr("WAVファイルにできなかったもの（%1個）:").arg(failures.size()) + QStringLiteral("\n") +
       failures.join(QLatin1Char('\n')));
}

void ResultsView::countShown() {
  //: The streams the filter shows: %1 of the %2 found.
  shown_->setText(filter_->text().isEmpty()
                      ? QString()
                      : tr("%1 / %2件を表示").arg(proxy_->rowCount()).arg(model_->rowCount()));
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
