// The controls of frmMain and their places: an upper panel of fixed height
// with the tabs and the strip of progress bar and Execute button, and the log
// filling the rest.
#include <QAction>
#include <QCheckBox>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/app_setup.h"
#include "app/frm_main.h"
#include "app/log_model.h"
#include "app/log_rows.h"
#include "app/text_conv.h"
#include "app/whole_line_log.h"
#include "carve/engine/formats.h"
#include "carve/engine/settings.h"
#include "platform/translate.h"

namespace {

constexpr int kFontPixels = 12;
// One log line per row, whatever the natural line height of the font.
constexpr int kLogRowPixels = 12;

QFont WindowFont() {
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("Noto Sans CJK JP")});
  font.setPixelSize(kFontPixels);
  return font;
}

// The fixed-pitch font of the log, the checksum field and the readme, so
// that the columns of the log lines line up.
QFont FixedFont() {
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("Noto Sans Mono CJK JP")});
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPixelSize(kFontPixels);
  return font;
}

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QToolButton* IconButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon) {
  auto* button = Named(new QToolButton(parent), name);
  button->setIcon(parent->style()->standardIcon(icon));
  button->setIconSize(QSize(16, 16));
  button->setAutoRaise(true);
  button->setFixedSize(22, 22);
  return button;
}

// A read-only field drawn on the window's grey instead of the edit colour.
void MakeGreyReadOnly(QLineEdit* edit) {
  edit->setReadOnly(true);
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  edit->setPalette(palette);
}

// A spin control that steps only by 1: the arrows and the Up and Down keys
// step, Page Up and Page Down do nothing.
class UnitStepSpinBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
      event->accept();
      return;
    }
    QSpinBox::keyPressEvent(event);
  }
};

// An integer spin control with its paired edit field. Typed text counts only
// when it is a whole number within the bounds; otherwise the previous value
// stays. Values of 1000 and more show the thousands separator.
QSpinBox* SpinPair(QWidget* parent, const char* spinName, const char* editName, int min, int max,
                   int value) {
  auto* spin = Named(new UnitStepSpinBox(parent), spinName);
  spin->setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
  spin->setGroupSeparatorShown(true);
  spin->setWrapping(false);
  spin->setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  spin->setRange(min, max);
  spin->setValue(value);
  spin->setFixedWidth(56);
  if (auto* edit = spin->findChild<QLineEdit*>())
    edit->setObjectName(QString::fromLatin1(editName));
  return spin;
}

// The spin of a setting of the table: its object name, bounds and default.
QSpinBox* SettingSpin(QWidget* parent, SettingId id, const char* editName) {
  const SettingRow& row = SettingOf(id);
  return SpinPair(parent, std::string(row.control).c_str(), editName, row.lowest, row.highest,
                  row.defaultValue);
}

QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& caption, bool checked) {
  auto* box = Named(new QCheckBox(caption, parent), name);
  box->setChecked(checked);
  return box;
}

void Tighten(QLayout* layout) {
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(2);
}

}  // namespace

void TfrmMain::BuildControls() {
  setObjectName(QStringLiteral("frmMain"));
  setFont(WindowFont());
  setWindowIcon(ProgramIcon());
  setAcceptDrops(true);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);

  auto* panel = Named(new QWidget(this), "Panel1");
  panel->setFixedHeight(145);
  auto* panelLayout = new QVBoxLayout(panel);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  panelLayout->setSpacing(0);

  PageControl1 = Named(new QTabWidget(panel), "PageControl1");
  PageControl1->setDocumentMode(true);
  PageControl1->addTab(BuildInputTab(), tr("入出力"));
  PageControl1->addTab(BuildRangeTab(), tr("処理範囲"));
  PageControl1->addTab(BuildConditionTab(), tr("抽出の条件"));
  PageControl1->addTab(BuildTagTab(), tr("タグ"));
  PageControl1->addTab(BuildExtendedTab(), tr("拡張"));
  //: The file name of the user guide in this language, shown on the last tab.
  PageControl1->addTab(BuildReadmeTab(), tr("readme.txt"));
  PageControl1->addTab(BuildResultsTab(), tr("結果"));
  PageControl1->setCurrentIndex(0);
  panelLayout->addWidget(PageControl1, 1);

  auto* strip = Named(new QWidget(panel), "Panel2");
  strip->setFixedHeight(22);
  auto* stripLayout = new QHBoxLayout(strip);
  stripLayout->setContentsMargins(0, 0, 0, 0);
  stripLayout->setSpacing(0);
  prgScan = Named(new QProgressBar(strip), "prgScan");
  prgScan->setRange(0, 100);
  prgScan->setValue(0);
  prgScan->setTextVisible(false);
  prgScan->setFixedHeight(22);
  btnExecute = Named(new QPushButton(tr("実行！"), strip), "btnExecute");
  btnExecute->setFixedSize(73, 22);
  btnExecute->setToolTip(tr("指定されたファイルからMP3を抽出します"));
  stripLayout->addWidget(prgScan, 1);
  stripLayout->addWidget(btnExecute);
  panelLayout->addWidget(strip);

  lbxLog = Named(new QListView(this), "lbxLog");
  FLog = new LogModel(lbxLog);
  lbxLog->setModel(FLog);
  lbxLog->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lbxLog->setFont(FixedFont());
  lbxLog->setUniformItemSizes(true);
  SetUniformRowHeight(lbxLog, kLogRowPixels);
  lbxLog->setSelectionMode(QAbstractItemView::SingleSelection);
  ShowWholeLines(lbxLog);
  BuildPopupMenu();

  root->addWidget(panel);
  root->addWidget(lbxLog, 1);
  // The classic size, widened at first start as far as every tab's title
  // needs, so that the results tab is in sight without scrolling the bar.
  resize(std::max(417, PageControl1->tabBar()->sizeHint().width()), 262);

  connect(btnExecute, &QPushButton::clicked, this, &TfrmMain::btnExecuteClick);
  connect(PageControl1, &QTabWidget::currentChanged, this, &TfrmMain::PageControl1Change);
}

QWidget* TfrmMain::BuildInputTab() {
  auto* tab = Named(new QWidget, "TabSheet1");
  auto* grid = new QGridLayout(tab);
  Tighten(grid);

  edtInput = Named(new QLineEdit(tab), "edtInput");
  SpeedButton1 = IconButton(tab, "SpeedButton1", QStyle::SP_DialogOpenButton);
  SpeedButton1->setToolTip(tr("入力ファイルを選択できます"));
  btnInputFolder = IconButton(tab, "btnInputFolder", QStyle::SP_DirOpenIcon);
  btnInputFolder->setToolTip(tr("入力フォルダを選択できます(中のファイルをすべて入力にします)"));
  edtCRC = Named(new QLineEdit(tab), "edtCRC");
  MakeGreyReadOnly(edtCRC);
  edtCRC->setFont(FixedFont());
  spdCalcCRC = IconButton(tab, "spdCalcCRC", QStyle::SP_BrowserReload);
  spdCalcCRC->setToolTip(tr("CRCの計算をします"));
  edtOutput = Named(new QLineEdit(QStringLiteral("./output/%3.3d.mp3"), tab), "edtOutput");

  grid->addWidget(new QLabel(tr("入力ファイル: "), tab), 0, 0);
  grid->addWidget(edtInput, 0, 1);
  grid->addWidget(SpeedButton1, 0, 2);
  grid->addWidget(btnInputFolder, 0, 3);
  grid->addWidget(new QLabel(QStringLiteral("CRC32:"), tab), 1, 0);
  grid->addWidget(edtCRC, 1, 1);
  grid->addWidget(spdCalcCRC, 1, 2);
  grid->addWidget(new QLabel(tr("出力ファイル: "), tab), 2, 0);
  grid->addWidget(edtOutput, 2, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(3, 1);

  connect(SpeedButton1, &QToolButton::clicked, this, &TfrmMain::SpeedButton1Click);
  connect(btnInputFolder, &QToolButton::clicked, this, &TfrmMain::btnInputFolderClick);
  connect(spdCalcCRC, &QToolButton::clicked, this, &TfrmMain::spdCalcCRCClick);
  connect(edtInput, &QLineEdit::textChanged, this, &TfrmMain::edtInputChange);
  // Dropped files go in through the window's own rule (file_drop.cpp).
  edtInput->installEventFilter(this);
  return tab;
}

QWidget* TfrmMain::BuildRangeTab() {
  auto* tab = Named(new QWidget, "TabSheet2");
  auto* column = new QVBoxLayout(tab);
  Tighten(column);
  rbtAll = Named(new QRadioButton(tr("入力ファイルの先頭から末尾までを処理"), tab), "rbtAll");
  rbtAll->setChecked(true);
  rbtLimit = Named(new QRadioButton(tr("範囲指定"), tab), "rbtLimit");
  updLower = SettingSpin(tab, SettingId::LowerPercent, "edtLower");
  updUpper = SettingSpin(tab, SettingId::UpperPercent, "edtUpper");

  auto* line = new QHBoxLayout;
  line->setSpacing(4);
  line->addWidget(rbtLimit);
  line->addWidget(updLower);
  line->addWidget(new QLabel(tr("% から"), tab));
  line->addWidget(updUpper);
  line->addWidget(new QLabel(tr("% まで"), tab));
  line->addStretch(1);
  column->addWidget(rbtAll);
  column->addLayout(line);
  column->addStretch(1);
  return tab;
}

QWidget* TfrmMain::BuildConditionTab() {
  auto* tab = Named(new QWidget, "TabSheet3");
  auto* column = new QVBoxLayout(tab);
  Tighten(column);
  column->setSpacing(0);
  updFrameNum = SettingSpin(tab, SettingId::MinFrames, "edtFrameNum");
  auto* line = new QHBoxLayout;
  line->addWidget(new QLabel(tr("mp3ファイルとみなす最低フレーム数: "), tab));
  line->addWidget(updFrameNum);
  line->addStretch(1);
  chkSensitizeVersion =
      CheckBox(tab, "chkSensitizeVersion",
               tr("mpegのバージョン、及びレイヤーの変更をファイル終端と解釈"), true);
  chkSensitizeChannel =
      CheckBox(tab, "chkSensitizeChannel",
               tr("チャンネル数変更(mono, stereo, jstereoなど)をファイル終端と解釈"), true);
  chkSensitizeFreq =
      CheckBox(tab, "chkSensitizeFreq", tr("サンプル周波数変更をファイル終端と解釈"), true);
  chkSensitizeCRC =
      CheckBox(tab, "chkSensitizeCRC", tr("CRC保護オプションの変更をファイル終端と解釈"), true);
  column->addLayout(line);
  column->addWidget(chkSensitizeVersion);
  column->addWidget(chkSensitizeChannel);
  column->addWidget(chkSensitizeFreq);
  column->addWidget(chkSensitizeCRC);
  column->addStretch(1);
  return tab;
}

QWidget* TfrmMain::BuildTagTab() {
  auto* tab = Named(new QWidget, "TabSheet4");
  auto* outer = new QVBoxLayout(tab);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* scroll = Named(new QScrollArea(tab), "ScrollBox1");
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* inner = new QWidget;
  auto* column = new QVBoxLayout(inner);
  column->setContentsMargins(4, 2, 4, 2);
  column->setSpacing(0);

  chkTagIni = CheckBox(inner, "chkTagIni", tr("ID3TAGの情報を、INIファイルから読み込む"), false);
  edtTagIni = Named(new QLineEdit(inner), "edtTagIni");
  MakeGreyReadOnly(edtTagIni);
  SpeedButton2 = IconButton(inner, "SpeedButton2", QStyle::SP_DialogOpenButton);
  chkID3v2Copy = CheckBox(inner, "chkID3v2Copy", tr("ID3v2Tagをコピーする"), true);
  chkID3v1Copy = CheckBox(inner, "chkID3v1Copy", tr("ID3v1Tagをコピーする"), true);

  auto* line = new QHBoxLayout;
  line->addWidget(new QLabel(QStringLiteral("INI File:"), inner));
  line->addWidget(edtTagIni, 1);
  line->addWidget(SpeedButton2);
  column->addWidget(chkTagIni);
  column->addLayout(line);
  column->addWidget(chkID3v2Copy);
  column->addWidget(chkID3v1Copy);
  column->addStretch(1);
  scroll->setWidget(inner);
  outer->addWidget(scroll);

  SelectTagIni = Named(new QAction(this), "SelectTagIni");
  connect(SelectTagIni, &QAction::triggered, this, &TfrmMain::SelectTagIniExecute);
  connect(SpeedButton2, &QToolButton::clicked, this, &TfrmMain::SpeedButton2Click);
  // Only the user's toggles run the handler; the chooser sets the box itself.
  connect(chkTagIni, &QCheckBox::clicked, this, &TfrmMain::chkTagIniClick);
  return tab;
}

QWidget* TfrmMain::BuildReadmeTab() {
  auto* tab = Named(new QWidget, "TabSheet5");
  auto* column = new QVBoxLayout(tab);
  column->setContentsMargins(0, 0, 0, 0);
  Memo1 = Named(new QPlainTextEdit(tab), "Memo1");
  Memo1->setReadOnly(true);
  Memo1->setFont(FixedFont());
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  column->addWidget(Memo1);
  return tab;
}

void TfrmMain::BuildPopupMenu() {
  PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
  N1 = Named(PopupMenu1->addAction(tr("ログのクリア(&C)")), "N1");
  N2 = Named(PopupMenu1->addAction(tr("出力フォルダを開く(&O)")), "N2");
  N3 = Named(PopupMenu1->addSeparator(), "N3");
  // An entry for every format of the table that has one, in its order.
  for (const FormatRow& row : Formats()) {
    if (row.menuText.empty()) continue;
    QAction* action = PopupMenu1->addAction(ToQ(Tr("formats", row.menuText).shown()));
    action->setObjectName(
        QString::fromUtf8(row.menuObject.data(), static_cast<qsizetype>(row.menuObject.size())));
    connect(action, &QAction::triggered, this, [this, &row] { FormatClick(row); });
    FormatActions.push_back(action);
  }
  AllFormats1 = Named(PopupMenu1->addAction(tr("すべての形式を抽出")), "AllFormats1");
  // The log's own entries come after the classic ones.
  Named(PopupMenu1->addSeparator(), "N4");
  CopyLog1 = Named(PopupMenu1->addAction(tr("ログをすべてコピー(&A)")), "CopyLog1");
  SaveLog1 = Named(PopupMenu1->addAction(tr("ログを保存(&S)...")), "SaveLog1");
  connect(N1, &QAction::triggered, this, &TfrmMain::N1Click);
  connect(N2, &QAction::triggered, this, &TfrmMain::N2Click);
  connect(CopyLog1, &QAction::triggered, this, &TfrmMain::CopyLogClick);
  connect(SaveLog1, &QAction::triggered, this, &TfrmMain::SaveLogClick);
  connect(AllFormats1, &QAction::triggered, this, &TfrmMain::AllFormats1Click);

  lbxLog->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lbxLog, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { PopupMenu1->popup(lbxLog->viewport()->mapToGlobal(pos)); });
}
