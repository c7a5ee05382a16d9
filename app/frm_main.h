// The one window of the program, frmMain: every option of a run as a control,
// the Execute button, the progress bar, the log and the readme viewer, and
// every command as a handler. Its host (app/window_host.h) is the Host
// through which the scan passes read the options (live, at the moment of
// use) and report.
#pragma once

#include <QWidget>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ui_seam.h"
#include "carve/engine/progress_meter.h"
#include "carve/engine/run.h"
#include "output/tag_ini.h"
#include "platform/folders.h"

class QAction;
class QLabel;
class StreamStrip;
class QCheckBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLineEdit;
class QListView;
class LogModel;
class QMenu;
struct FormatRow;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class ResultsView;
class WindowHost;

class TfrmMain : public QWidget, public Prompt {
  Q_OBJECT

 public:
  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

  // Replaces the message boxes, dialogs, beep and shell; null restores Qt's.
  void setSeam(UiSeam* seam);
  // The system as the window's files, folders and names see it: the
  // operating system's unless a test gives one that fails an operation.
  void setEnv(Env& env) { FEnv = &env; }
  Env& env() const { return *FEnv; }
  // How often the passes and the checksum command pump events; 0: always.
  void setPumpIntervalMs(int ms) { FPumpIntervalMs = ms; }
  // Makes file names (byte strings) the inputs, as the input chooser does:
  // one shows bare in the input field, several as comma text; a list too
  // long for that shows as a count and is kept whole beside the field until
  // the field is changed. No names leave the inputs as they are.
  void SetInputFiles(const std::vector<std::string>& paths);
  // The inputs of a run: the list kept beside the field while the field
  // shows it, or else the names the field's text gives.
  std::vector<std::string> InputList() const;
  // The digests ticked on the extended tab (HashKind bits of
  // output/digests.h): every output of a run gets them as it is written.
  unsigned HashKinds() const;
  // The clock of the progress texts (rate, elapsed and remaining time) and
  // of the event pump's turns.
  void setClock(SteadyClock clock) {
    FPumpClock = clock;
    FMeter = ProgressMeter(std::move(clock));
  }
  // The picture of the inputs of the run, whose streamClicked(input, number)
  // and selectStream(input, number) tie it to other views of the streams.
  StreamStrip* streamStrip() const { return strStreams; }
  // The formats the Execute button runs, in table order (MP3 alone unless
  // the user ticks others in btnFormats' menu).
  std::vector<const FormatRow*> TickedFormats() const;
  // The same with every folder among `paths` standing for the regular files
  // below it (platform/folders.h FilesBelow); a folder that cannot be read
  // is told in a warning box and passed over.
  void SetInputFilesAndFolders(const std::vector<std::string>& paths);

  // The Host of the window's runs, which reads the controls at each call.
  Host& host();
  // The questions of the checks before a run: boxes, and the tag tab shown
  // for a refusal; the CRC-32 computed into the checksum field.
  void Refuse(const std::string& reason) override;
  bool Confirm(const std::string& question) override;
  std::optional<std::string> InputCrcText(const std::string& input) override;
  // The tab of results: its table, its selection and its player.
  ResultsView* Results() const { return FResults; }

 public slots:
  // Run commands: start a run, or cancel the one in progress.
  void btnExecuteClick();
  // The popup-menu entry of a format of the table.
  void FormatClick(const FormatRow& row);
  // MP3, Ogg and WAVE streams in one read of each input.
  void AllFormats1Click();
  // CRC-32 of every input into edtCRC.
  void spdCalcCRCClick();
  void edtInputChange();
  // Small commands.
  void SpeedButton1Click();
  // The folder chooser: the files below the folder chosen become the inputs.
  void btnInputFolderClick();
  void N1Click();
  void N2Click();
  // The log's popup: every line onto the clipboard; every line into a file
  // the user chooses.
  void CopyLogClick();
  // The chosen lines of the log, in their order, one a line.
  void CopySelectedClick();
  void SaveLogClick();
  void PageControl1Change(int index);
  // The tag INI chooser.
  void SelectTagIniExecute();
  void SpeedButton2Click();
  void chkTagIniClick();
  // The folder chooser of the output field.
  void SpeedButton3Click();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Local files dropped on the window or the input field fill the input
  // field; anything else dropped is refused.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class WindowHost;

  void BuildControls();
  QWidget* BuildInputTab();
  QWidget* BuildRangeTab();
  QWidget* BuildConditionTab();
  QWidget* BuildTagTab();
  QWidget* BuildExtendedTab();
  QWidget* BuildReadmeTab();
  QWidget* BuildResultsTab();
  void BuildPopupMenu();
  // A drag over the window or the input field: accepted (and, for a drop,
  // taken into the input field) when it carries local files only.
  bool TakeFileDrag(QDropEvent* event);
  // Shows `paths` in the input field; `folder` is the one folder they were
  // listed from, if any.
  void ShowInputs(const std::vector<std::string>& paths, const std::string& folder);
  void FormCreate();

  // Runs a handler; a failure escaping it is shown by the standard error
  // report. A close asked for while handlers run happens after the last one.
  void Guarded(const std::function<void()>& body);
  void ShowException(const std::exception& e);

  // `every`: the run is All's, which takes every extended rule unless
  // chkClassicAll is ticked.
  void RunCommand(const std::vector<const FormatRow*>& rows, bool every = false);
  // The controls beside the classic ones (run_extras.cpp): the formats of
  // the Execute button, the picture of the inputs, the status, the output
  // folder chooser.
  void BuildRunExtras();
  // The caption of btnFormats: what is ticked.
  void UpdateFormatsCaption();
  // A format's entry in btnFormats' menu was toggled.
  void FormatTicked(QAction* action);
  // The progress texts as a run begins, goes on and ends.
  void ShowRunBegins();
  void ShowRunProgress();
  void ShowRunEnds(bool cancelled);
  // Draws a stream found in the picture of its input.
  void DrawStream(const StreamReport& report);
  // Scrolls the log to its newest line and repaints it, when lines came
  // since the last time.
  void ShowNewestLog();
  // The checksum command; false when a file could not be read (the failure
  // has been reported) or the window is closing.
  bool CalcInputCrcs();
  // A box of the window's own, after the newest log lines are shown.
  BoxAnswer ShowBox(BoxType type, const std::string& text, BoxButtons buttons);

  // Tab "入出力"
  QLineEdit* edtInput = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* btnInputFolder = nullptr;
  QLineEdit* edtCRC = nullptr;
  QToolButton* spdCalcCRC = nullptr;
  QLineEdit* edtOutput = nullptr;
  std::vector<std::string> FInputs;  // the inputs while edtInput shows FInputsText
  QString FInputsText;
  // Tab "処理範囲"
  QRadioButton* rbtAll = nullptr;
  QRadioButton* rbtLimit = nullptr;
  QSpinBox* updLower = nullptr;
  QSpinBox* updUpper = nullptr;
  // Tab "抽出の条件"
  QSpinBox* updFrameNum = nullptr;
  QCheckBox* chkSensitizeVersion = nullptr;
  QCheckBox* chkSensitizeChannel = nullptr;
  QCheckBox* chkSensitizeFreq = nullptr;
  QCheckBox* chkSensitizeCRC = nullptr;
  // Tab "タグ"
  QCheckBox* chkTagIni = nullptr;
  QLineEdit* edtTagIni = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QCheckBox* chkID3v2Copy = nullptr;
  QCheckBox* chkID3v1Copy = nullptr;
  // Tab "拡張": the extended detection rules
  // The control of each setting of the table, by its object name.
  std::array<QWidget*, kSettingCount> FSettingControls{};
  // All (and Execute with every format ticked) with the classic rules.
  QCheckBox* chkClassicAll = nullptr;
  // The digests of every output, in the order of kHashNames: chkHashMd5,
  // chkHashSha1, chkHashSha256.
  std::array<QCheckBox*, 3> chkHashes{};
  // Tab "readme.txt"
  QPlainTextEdit* Memo1 = nullptr;
  // Tab "結果": the streams of the last run
  ResultsView* FResults = nullptr;
  // The rest of the window.
  QTabWidget* PageControl1 = nullptr;
  QProgressBar* prgScan = nullptr;
  QPushButton* btnExecute = nullptr;
  QListView* lbxLog = nullptr;
  LogModel* FLog = nullptr;  // the lines of lbxLog
  QMenu* PopupMenu1 = nullptr;
  QAction* N1 = nullptr;
  QAction* N2 = nullptr;
  QAction* CopyLog1 = nullptr;
  QAction* CopySelected1 = nullptr;
  QAction* SaveLog1 = nullptr;
  QAction* N3 = nullptr;
  // The popup entries of the formats ("OggVorbis1", "RiffWAV1"...), in the
  // table's order.
  std::vector<QAction*> FormatActions;
  QAction* AllFormats1 = nullptr;
  QAction* SelectTagIni = nullptr;

  // The run extras.
  QToolButton* btnFormats = nullptr;
  std::vector<QAction*> FExecuteFormats;  // one a row of the table, in its order
  QAction* FExecuteAll = nullptr;
  StreamStrip* strStreams = nullptr;
  QLabel* lblStatus = nullptr;
  QLabel* lblLegend = nullptr;  // the formats of the picture, in their colours
  QToolButton* SpeedButton3 = nullptr;
  ProgressMeter FMeter;

  std::string FBaseDir;
  bool FReadmeLoaded = false;

  std::unique_ptr<WindowHost> FHost;

  UiSeam FQtSeam;
  UiSeam* FSeam = &FQtSeam;
  Env* FEnv = &Env::System();
  int FPumpIntervalMs = 25;
  SteadyClock FPumpClock = SteadyMilliseconds;
  int FBusyDepth = 0;  // handlers in progress, nested ones included
  bool FClosePending = false;
  bool FLogBehind = false;  // lines added that the log has not yet scrolled to
  std::chrono::steady_clock::time_point FLogShownAt;  // when the log was last scrolled
};
