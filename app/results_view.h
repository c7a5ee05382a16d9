// The tab of results: the table of the streams a run found (results_model.h)
// with a filter field, sortable columns, playing of a row's output, its
// folder, the rows copied as CSV, and the chosen streams and members
// exported as WAVE files. A bank's row unfolds into its members. Boxes, the
// folder dialog and the file browser go through the window's seam.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/sound_out.h"

class Player;
class QHBoxLayout;
class QLabel;
class QSlider;
class QLineEdit;
class QCloseEvent;
class QModelIndex;
class QSortFilterProxyModel;
class QProgressDialog;
class QTreeView;
class WavExporter;
class QToolButton;
class ResultsModel;

class UiSeam;

// "m:ss.t", the player's position and duration.
QString PlayTimeText(double seconds);

class ResultsView : public QWidget {
  Q_OBJECT

 public:
  // `out`: where the player's sound goes; null: the system's audio output.
  explicit ResultsView(UiSeam* seam, QWidget* parent = nullptr,
                       std::unique_ptr<SoundOut> out = nullptr);

  void setSeam(UiSeam* seam) { seam_ = seam; }
  ResultsModel* model() const { return model_; }
  Player* player() const { return player_; }
  // The rows of the model in the order the table shows them now (sorted and
  // filtered), or only the selected ones among them.
  std::vector<int> shownRows(bool selectedOnly) const;
  // The selected rows, streams and members, in the order shown: the
  // model's row of each stream or bank, and the member's index or -1.
  std::vector<std::pair<int, int>> selectedItems() const;
  WavExporter* exporter() const { return exporter_; }
  // The digests of the next run's outputs (HashKind bits): a column each.
  void setHashes(unsigned kinds);
  // What Copy as CSV copies, in the order shown: the chosen streams and
  // members, a bank chosen alone with all its members; with none chosen,
  // every stream and member the filter shows.
  std::vector<std::pair<int, int>> csvItems() const;

 public slots:
  // Selects the row of the stream `number` of `input` and scrolls to it; a
  // filter that hides it is cleared. No `streamSelected` follows.
  void selectStream(const std::string& input, const std::string& format, int64_t number);
  // The commands of the buttons, on the current row.
  void playCurrent();
  void stopPlaying();
  void showCurrentInFolder();
  void copyRowsAsCsv();
  // Decodes the selected streams and members into WAVE files of a folder
  // the user chooses, with progress; the failures in one box at the end.
  void exportAsWav();
  // Shows the table in a window of its own, resizable, and back in its tab
  // when that window is closed.
  void detach();

 protected:
  void closeEvent(QCloseEvent* event) override;

 signals:
  // The user made a row the current one.
  void streamSelected(const std::string& input, const std::string& format, int64_t number);

 private:
  // The model's row of the table's current row, or -1.
  int currentRow() const;
  // The same, and the current member's index (-1: the stream itself).
  int currentRow(int* member) const;
  void exportFinished(const QStringList& failures);
  // The output of the current row, or nothing after a box saying why.
  std::string currentOutput();
  void rowChanged(const QModelIndex& current);
  void warn(const QString& text);
  // The label of how many streams the filter shows.
  void countShown();
  // The player's position, duration, seek bar and volume.
  QHBoxLayout* playerBar();

  UiSeam* seam_;
  ResultsModel* model_;
  QSortFilterProxyModel* proxy_;
  QTreeView* table_;
  QLineEdit* filter_;
  QLabel* shown_ = nullptr;  // "n / m shown" while a filter is typed
  QToolButton* play_;
  QToolButton* stop_;
  Player* player_;
  QLabel* time_ = nullptr;
  QSlider* seek_ = nullptr;
  WavExporter* exporter_;
  QProgressDialog* progress_ = nullptr;
  std::string exportFolder_;  // where the last export went
  bool selecting_ = false;    // selectStream is at work
  QWidget* home_ = nullptr;   // the tab page it is shown in when not a window
};
