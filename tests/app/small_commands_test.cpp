// The commands that are not runs: the input chooser, files dropped on the
// window or given on its command line, the log and its two menu commands,
// the readme tab.
#include <sys/stat.h>

#include <QAction>
#include <QDropEvent>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "app/command_line.h"
#include "app/log_model.h"
#include "app/running.h"
#include "app/text_conv.h"
#include "app_test_util.h"
#include "carve/engine/scan_pass.h"
#include "platform/fault.h"
#include "platform/folders.h"
#include "platform/text_file.h"

namespace {
const QString kReadmeFailure = QStringLiteral("* readme.txt が読めないよ (´･ω･`)");
constexpr int kReadmeTab = 5;
}  // namespace

class SmallCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InitTestApplication(); }

  void inputChooserWritesOneOrSeveralNames() {
    WindowUnderTest w;
    auto* input = w.find<QLineEdit>("edtInput");
    auto* crc = w.find<QLineEdit>("edtCRC");

    crc->setText("0123ABCD");
    w.seam.dialogResults.push_back(std::vector<std::string>{"/data/a b/x.bin"});
    w.find<QToolButton>("SpeedButton1")->click();
    QCOMPARE(w.seam.dialogs.size(), size_t{1});
    const FileDialogRequest& request = w.seam.dialogs[0];
    QVERIFY(request.allowMultiple);
    QVERIFY(request.mustExist);
    QCOMPARE(request.filter, std::string("All files (*.*)|*.*"));
    QCOMPARE(request.filterIndex, 1);
    // One name stays bare, blank and all; the shown checksum goes.
    QCOMPARE(input->text(), QStringLiteral("/data/a b/x.bin"));
    QVERIFY(crc->text().isEmpty());

    crc->setText("0123ABCD");
    w.seam.dialogResults.push_back(std::vector<std::string>{"/data/a b/x.bin", "/data/y.bin"});
    w.find<QToolButton>("SpeedButton1")->click();
    QCOMPARE(input->text(), QStringLiteral("\"/data/a b/x.bin\",/data/y.bin"));
    QVERIFY(crc->text().isEmpty());

    // Cancelling changes nothing.
    crc->setText("0123ABCD");
    w.find<QToolButton>("SpeedButton1")->click();
    QCOMPARE(w.seam.dialogs.size(), size_t{3});
    QCOMPARE(input->text(), QStringLiteral("\"/data/a b/x.bin\",/data/y.bin"));
    QCOMPARE(crc->text(), QStringLiteral("0123ABCD"));
  }

  // A name's bytes survive the window's text whatever they are; valid UTF-8
  // reads as it always did.
  void namesRoundTripThroughTheWindowsText() {
    const struct {
      std::string name;
      bool utf8;
    } rows[] = {
        {"/data/a b.pak", true},
        {"/データ/曲.bin", true},
        {"/d/\xf0\x9f\x8e\xb5.bin", true},   // four bytes
        {"/d/\xff\xfe.bin", false},          // never in UTF-8
        {"/d/\xc0\x80.bin", false},          // an overlong NUL
        {"/d/\xed\xa0\x80.bin", false},      // a surrogate
        {"/d/\xf4\x90\x80\x80.bin", false},  // above U+10FFFF
        {"/d/\xe3\x81", false},              // cut short at the end
        {"/d/\xe3\x81\xe3\x81\x82", false},  // cut short before a whole one
        {"\x80", false},
    };
    for (const auto& row : rows) {
      const QString text = NameToQ(row.name);
      QCOMPARE(NameFromQ(text), row.name);
      QCOMPARE(text == ToQ(row.name), row.utf8);
    }
  }

  // A drag carrying local files fills the input field like the chooser;
  // anything else is refused, on the window and on the input field alike.
  void droppedFiles() {
    struct Row {
      const char* what;
      QStringList urls;  // empty: plain text is dragged instead
      bool accepted;
      QString input;  // the field's text after the drop
    };
    const QString kBefore = QStringLiteral("/old.bin");
    const std::vector<Row> rows = {
        {"one file", {"file:///data/game.pak"}, true, "/data/game.pak"},
        {"a blank stays bare", {"file:///data/a%20b.pak"}, true, "/data/a b.pak"},
        {"two files, one with a blank",
         {"file:///data/a%20b.pak", "file:///data/c.pak"},
         true,
         "\"/data/a b.pak\",/data/c.pak"},
        {"this host", {"file://localhost/data/x.bin"}, true, "/data/x.bin"},
        {"a web address", {"https://example.com/game.pak"}, false, kBefore},
        {"a file and a web address",
         {"file:///data/c.pak", "https://example.com/game.pak"},
         false,
         kBefore},
        {"a file on another host", {"file://server/data/c.pak"}, false, kBefore},
        {"plain text", {}, false, kBefore},
    };
    for (const char* targetName : {"frmMain", "edtInput"}) {
      for (const Row& row : rows) {
        const QByteArray what = QByteArray(targetName) + ": " + row.what;
        WindowUnderTest w;
        auto* input = w.find<QLineEdit>("edtInput");
        auto* crc = w.find<QLineEdit>("edtCRC");
        QWidget* target =
            targetName == QByteArray("frmMain") ? static_cast<QWidget*>(w.window.get()) : input;
        input->setText(kBefore);
        crc->setText("0123ABCD");
        QMimeData data;
        if (row.urls.isEmpty()) {
          data.setText("file:///data/game.pak");
        } else {
          QList<QUrl> urls;
          for (const QString& url : row.urls) urls << QUrl(url);
          data.setUrls(urls);
        }
        const QPoint pos = target->rect().center();
        QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QCOMPARE(enter.isAccepted(), row.accepted);
        QDragMoveEvent move(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        QCOMPARE(move.isAccepted(), row.accepted);
        QDropEvent drop(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QVERIFY2(drop.isAccepted() == row.accepted, what.constData());
        QVERIFY2(input->text() == row.input, qPrintable(what + " gave " + input->text()));
        // A new input empties the shown checksum, as typing does.
        QCOMPARE(crc->text().isEmpty(), row.accepted);
        QVERIFY(w.log().isEmpty());
      }
    }
  }

  // A dropped folder, or one chosen with the folder chooser, stands for the
  // regular files below it: depth-first, names in bytewise order, no link
  // followed, no FIFO; a file dropped with it stays where it was dropped.
  void droppedAndChosenFolders() {
    namespace fs = std::filesystem;
    QTemporaryDir temp;
    const std::string t = QFile::encodeName(temp.path()).toStdString();
    fs::create_directories(t + "/tree/sub/deeper");
    fs::create_directories(t + "/tree/empty");
    for (const char* name : {"/tree/b.bin", "/tree/a b.pak", "/tree/sub/deeper/c.bin",
                             "/tree/sub/x.bin", "/loose.bin"}) {
      std::ofstream(t + name) << "x";
    }
    fs::create_symlink(t + "/tree/b.bin", t + "/tree/link.bin");
    fs::create_symlink(t + "/tree/sub", t + "/tree/linkdir");
    QCOMPARE(::mkfifo((t + "/tree/fifo").c_str(), 0600), 0);
    const QString tree = QString::fromStdString(t + "/tree");
    const QString q = QString::fromStdString(t);
    struct Row {
      const char* what;
      QStringList dropped;
      QString input;
    };
    const std::vector<Row> rows = {
        {"a folder", {tree}, tree + " (4個のファイル)"},
        {"a file and a folder",
         {q + "/loose.bin", tree + "/sub"},
         q + "/loose.bin," + tree + "/sub/deeper/c.bin," + tree + "/sub/x.bin"},
        {"one file below", {tree + "/sub/deeper"}, tree + "/sub/deeper (1個のファイル)"},
        {"an empty folder", {tree + "/empty"}, "/old.bin"},
    };
    for (const Row& row : rows) {
      WindowUnderTest w;
      auto* input = w.find<QLineEdit>("edtInput");
      input->setText("/old.bin");
      QMimeData data;
      QList<QUrl> urls;
      for (const QString& path : row.dropped) urls << QUrl::fromLocalFile(path);
      data.setUrls(urls);
      const QPoint pos = input->rect().center();
      QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(input, &enter);
      QDropEvent drop(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(input, &drop);
      QVERIFY(drop.isAccepted());
      QVERIFY2(input->text() == row.input,
               qPrintable(QString(row.what) + " gave " + input->text()));
      QVERIFY(w.seam.boxes.empty());
      // A folder's files are listed in the field's tooltip.
      if (row.input.endsWith(QStringLiteral("個のファイル)")))
        QVERIFY(input->toolTip().contains(tree + "/sub/deeper/c.bin"));
      if (row.dropped.size() != 1) continue;
      // The folder chooser gives the same; cancelling it changes nothing.
      input->setText("/old.bin");
      w.seam.folderResults.push_back(QFile::encodeName(row.dropped.front()).toStdString());
      w.find<QToolButton>("btnInputFolder")->click();
      QVERIFY2(input->text() == row.input, qPrintable(QString(row.what) + " chosen"));
      w.find<QToolButton>("btnInputFolder")->click();
      QVERIFY(input->text() == row.input);
      QCOMPARE(std::count(w.seam.events.begin(), w.seam.events.end(), "folder"), 2);
    }
  }

  // Names on the command line fill the input field at start, taken from the
  // working directory; nothing runs by itself.
  void fileArguments() {
    struct Row {
      std::vector<std::string> args;
      QString input;
      std::vector<std::string> files;
      bool version, help;
      std::string unknownOption;
    };
    const std::vector<Row> rows = {
        {{}, "", {}, false, false, ""},
        {{"/data/game.pak"}, "/data/game.pak", {"/data/game.pak"}, false, false, ""},
        {{"a b.pak"}, "/home/u/a b.pak", {"a b.pak"}, false, false, ""},
        {{"a b.pak", "sub/c.pak", "/d.pak"},
         "\"/home/u/a b.pak\",/home/u/sub/c.pak,/d.pak",
         {"a b.pak", "sub/c.pak", "/d.pak"},
         false,
         false,
         ""},
        {{"-", "--", "--version", "-x"},
         "/home/u/-,/home/u/--version,/home/u/-x",
         {"-", "--version", "-x"},
         false,
         false,
         ""},
        {{"x.pak", "--version", "--bogus", "-h", "-q"},
         "/home/u/x.pak",
         {"x.pak"},
         true,
         true,
         "--bogus"},
    };
    for (const Row& row : rows) {
      const WindowCommandLine line = ParseWindowCommandLine(row.args);
      QCOMPARE(line.files, row.files);
      QCOMPARE(line.version, row.version);
      QCOMPARE(line.help, row.help);
      QCOMPARE(line.unknownOption, row.unknownOption);
      WindowUnderTest w;
      std::vector<std::string> paths;
      for (const std::string& file : line.files)
        paths.push_back(AbsoluteInputPath(file, "/home/u"));
      w.window->SetInputFiles(paths);
      QCOMPARE(w.find<QLineEdit>("edtInput")->text(), row.input);
      QVERIFY(w.log().isEmpty());
      QVERIFY(!w.window->host().Running());
      QCOMPARE(w.find<QPushButton>("btnExecute")->text(), QStringLiteral("実行！"));
    }
    QCOMPARE(AbsoluteInputPath("a.pak", "/"), std::string("/a.pak"));
    QCOMPARE(AbsoluteInputPath("a.pak", "/home/u/"), std::string("/home/u/a.pak"));
    QVERIFY(WindowVersionText().starts_with("zandrel "));
    QVERIFY(WindowUsageText().find("--version") != std::string::npos);
  }

  void typingIntoTheInputEmptiesTheChecksum() {
    WindowUnderTest w;
    auto* crc = w.find<QLineEdit>("edtCRC");
    crc->setText("352441C2");
    w.find<QLineEdit>("edtInput")->setFocus();
    QTest::keyClicks(w.find<QLineEdit>("edtInput"), "x");
    QVERIFY(crc->text().isEmpty());
  }

  void logShowsTheNewestLineAtTheBottom() {
    WindowUnderTest w;
    auto* list = w.find<QListView>("lbxLog");
    auto* bar = list->verticalScrollBar();

    w.window->host().AddLog("first");
    QCOMPARE(list->model()->rowCount(), 1);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(list->visualRect(list->model()->index(0, 0)).top(), 0);

    auto newestIsBottomRow = [&] {
      const QRect last = list->visualRect(list->model()->index(list->model()->rowCount() - 1, 0));
      const QRect view = list->viewport()->rect();
      return view.contains(last) && view.bottom() - last.bottom() < last.height();
    };
    // At the design size nine full rows show: nine lines fit unscrolled, and
    // later the newest line is the ninth row.
    auto firstRowShown = [&] { return list->indexAt(QPoint(0, 0)).row(); };
    for (int i = 0; i < 8; ++i) w.window->host().AddLog("line " + std::to_string(i));
    QCOMPARE(bar->maximum(), 0);
    QCOMPARE(firstRowShown(), 0);
    QCOMPARE(list->visualRect(list->model()->index(8, 0)).height(), 12);
    QVERIFY(newestIsBottomRow());
    for (int i = 8; i < 40; ++i) w.window->host().AddLog("line " + std::to_string(i));
    QVERIFY(bar->maximum() > 0);
    QVERIFY(newestIsBottomRow());
    QCOMPARE(firstRowShown(), list->model()->rowCount() - 9);

    // Even when the user has scrolled away.
    bar->setValue(0);
    w.window->host().AddLog("after scrolling up");
    QCOMPARE(list->model()->index(list->model()->rowCount() - 1, 0).data().toString(),
             QStringLiteral("after scrolling up"));
    QVERIFY(newestIsBottomRow());
    QCOMPARE(firstRowShown(), list->model()->rowCount() - 9);

    w.find<QAction>("N1")->trigger();
    QCOMPARE(list->model()->rowCount(), 0);
  }

  // The log keeps its newest lines, 200 000 at most and 32 MiB of text (a
  // log of one line a megabyte here), in whatever lengths they come; each
  // line takes little more than its bytes.
  void logHoldsLittleAndKeepsItsNewestLines() {
    const auto numbered = [](int i, int length) {
      const std::string n = std::to_string(i);
      return std::string(static_cast<size_t>(length) - n.size(), '.') + n;
    };
    // In the window, after an opening line as wide as a run's.
    const struct { int lines, length, mostRows; } rows[] = {{250000, 10, 200000}, {5000, 80, 5002}};
    for (const auto& row : rows) {
      WindowUnderTest w;
      QStringList all{QStringLiteral("\"/data/game.pak\"からMP3ファイルを探しますっ！")};
      ::Running = 1;  // the lines come as in a run: shown at the end
      w.window->host().AddLog(Std(all[0]));
      for (int i = 0; i <= row.lines; ++i) {
        if (i == row.lines) ::Running = 0;
        w.window->host().AddLog(numbered(i, row.length));
      }
      const QStringList log = w.log();
      // All of a log that fits; otherwise the newest, more than half the most.
      QVERIFY2(log.size() <= row.mostRows, qPrintable(QString::number(log.size())));
      QVERIFY(log.size() == row.lines + 2 || log.size() > row.mostRows / 2);
      QCOMPARE(log.last(), QString::fromStdString(numbered(row.lines, row.length)));
      QCOMPARE(log.first(),
               log.size() == row.lines + 2
                   ? all[0]
                   : QString::fromStdString(numbered(row.lines + 1 - log.size(), row.length)));
    }
    const struct {
      int lines, length;
      size_t mostBytes;
    } models[] = {{10000, 80, LogModel::kMostBytes}, {3000, 1000, size_t{1} << 20}};
    for (const auto& row : models) {
      LogModel model(nullptr, LogModel::kMostLines, row.mostBytes);
      for (int i = 0; i < row.lines; ++i) model.append(numbered(i, row.length));
      const size_t kept = static_cast<size_t>(model.rowCount());
      QVERIFY(kept * row.length <= row.mostBytes);
      QVERIFY(kept == size_t(row.lines) || kept * row.length > row.mostBytes / 2);
      QCOMPARE(model.line(static_cast<int>(kept) - 1),
               QString::fromStdString(numbered(row.lines - 1, row.length)));
      QVERIFY(model.bytesHeld() <= kept * 3 * (row.length + 4));
    }
  }

  // During a run the log catches up with its newest line at the pump's
  // turns; at a box and at the end of the run it shows it whatever the turns.
  void logCatchesUpAtABoxAndAtTheEndOfARun() {
    QTemporaryDir temp;
    const QString input = temp.filePath("in.bin");
    QVERIFY(WriteFile(input, InputWithStreams(20, 3)));
    QVERIFY(QDir(temp.path()).mkpath("out/020.mp3"));  // the last stream fails: a box
    for (bool box : {false, true}) {
      WindowUnderTest w;
      w.window->setPumpIntervalMs(1000000);  // no turn of the pump in the run
      w.seam.defaultAnswer = BoxAnswer::Ignore;
      auto* list = w.find<QListView>("lbxLog");
      auto newestIsBottomRow = [&] {
        const QRect last = list->visualRect(list->model()->index(list->model()->rowCount() - 1, 0));
        return last.top() >= 0 && last.bottom() <= list->viewport()->rect().bottom();
      };
      bool shownAtBox = false;
      w.seam.onBox = [&](const ShownBox&) { shownAtBox = newestIsBottomRow(); };
      w.find<QLineEdit>("edtInput")->setText(input);
      w.find<QLineEdit>("edtOutput")
          ->setText(temp.path() + (box ? "/out/%3.3d.mp3" : "/o/%3.3d.mp3"));
      w.find<QPushButton>("btnExecute")->click();
      QCOMPARE(list->model()->rowCount(), box ? 23 : 22);  // opening, streams, the failure, summary
      QCOMPARE(w.seam.boxes.size(), size_t{box ? 1u : 0u});
      QCOMPARE(shownAtBox, box);
      QVERIFY(newestIsBottomRow());
    }
  }

  // The widest line sets the width in whatever order the lines come: one of
  // wide characters among longer Latin-1 ones, or a Latin-1 one after them.
  void widestLineWhateverTheOrder() {
    const std::string latin = "[001($00001234-$0000D623)] mpeg1.0layer3   120Frames";
    const std::string wide = "全角の文字だけで書かれた長い行です、全角の文字だけで書かれた長い行";
    const std::string longer = latin + " 129kbps 44kHz    3.1sec";
    const std::vector<std::vector<std::string>> orders = {
        {latin, wide}, {wide, latin}, {latin, longer, wide, "x"}, {wide, longer, "short"}};
    for (const auto& lines : orders) {
      WindowUnderTest w;
      auto* list = w.find<QListView>("lbxLog");
      int widest = 0;
      for (const std::string& line : lines) {
        w.window->host().AddLog(line);
        widest =
            std::max(widest, list->fontMetrics().horizontalAdvance(QString::fromStdString(line)));
      }
      auto* bar = list->horizontalScrollBar();
      QTRY_COMPARE(bar->maximum() + list->viewport()->width() >= widest, true);
      bar->setValue(bar->maximum());
      for (int row = 0; row < list->model()->rowCount(); ++row)
        QVERIFY(list->visualRect(list->model()->index(row, 0)).width() >= widest);
    }
  }

  // Lines are never cut: the widest one sets how far the log scrolls
  // sideways, and its end can be scrolled into view.
  void logShowsWholeLines() {
    WindowUnderTest w;
    auto* list = w.find<QListView>("lbxLog");
    auto* bar = list->horizontalScrollBar();
    QCOMPARE(list->textElideMode(), Qt::ElideNone);
    const std::string wide =
        "[001($00001234-$0000D623)] mpeg1.0layer3   120Frames 129kbps 44kHz    3.1sec";
    const int wideWidth = list->fontMetrics().horizontalAdvance(QString::fromStdString(wide));
    QVERIFY(wideWidth > list->viewport()->width());
    // The wide line first, then shorter ones: the width stays.
    for (const std::string& line :
         {std::string("short"), wide, std::string("a"), std::string("b")}) {
      w.window->host().AddLog(line);
    }
    QTRY_VERIFY(bar->isVisible());
    QVERIFY(bar->maximum() >= wideWidth - list->viewport()->width());
    bar->setValue(bar->maximum());
    const QRect item = list->visualRect(list->model()->index(1, 0));
    QVERIFY(item.width() >= wideWidth);
    QVERIFY(item.right() <= list->viewport()->rect().right());
    // The newest line is still the bottom row.
    QCOMPARE(list->model()->index(list->model()->rowCount() - 1, 0).data().toString(),
             QStringLiteral("b"));

    // An emptied log starts narrow again.
    w.find<QAction>("N1")->trigger();
    w.window->host().AddLog("short");
    QTRY_COMPARE(bar->maximum(), 0);
  }

  // The folder chooser of the output field: the name part of the pattern
  // stays, the folder chosen goes in front of it (its '%' doubled, so that
  // it names that very folder), a cancel leaves the field as it was.
  void outputFolderChooser() {
    const std::string base = GetCurrentDir();
    const struct {
      std::string pattern;
      std::optional<std::string> chosen;
      std::string start, result;
    } cases[] = {
        {"/a/b/%f_%3.3d.mp3", "/x/y", "/a/b", "/x/y/%f_%3.3d.mp3"},
        {"/a/b/%3.3d.mp3", std::nullopt, "/a/b", "/a/b/%3.3d.mp3"},
        {"/a/b/", "/x", "/a/b", "/x/%3.3d.mp3"},
        {"/x%%y/%3.3d.mp3", "/p%q/r", "/x%y", "/p%%q/r/%3.3d.mp3"},
        {"name%d.mp3", "/", base + (base == "/" ? "" : "/"), "/name%d.mp3"},
        {"/%3.3d.mp3", "/z/", "/", "/z/%3.3d.mp3"},
    };
    for (const auto& c : cases) {
      WindowUnderTest w;
      auto* output = w.find<QLineEdit>("edtOutput");
      output->setText(ToQ(c.pattern));
      w.seam.folderResults = {c.chosen};
      w.find<QToolButton>("SpeedButton3")->click();
      QCOMPARE(w.seam.folderStarts, std::vector<std::string>{c.start});
      QCOMPARE(Std(output->text()), c.result);
      if (!c.chosen) continue;
      // The outputs go to the folder chosen.
      bool hasDir = false;
      std::string dir = PatternDirectory(c.result, hasDir);
      QVERIFY(hasDir);
      if (dir.empty()) dir = "/";
      std::string chosen = *c.chosen;
      if (chosen.size() > 1 && chosen.back() == '/') chosen.pop_back();
      QCOMPARE(dir, chosen);
    }
  }

  void openOutputFolder() {
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    WorkingDirectory cwd(temp.path());
    WindowUnderTest w;
    auto* output = w.find<QLineEdit>("edtOutput");
    auto* openFolder = w.find<QAction>("N2");

    output->setText("%3.3d.mp3");
    openFolder->trigger();
    QCOMPARE(w.seam.boxes.size(), size_t{1});
    QCOMPARE(w.seam.boxes[0].type, BoxType::Warning);
    QCOMPARE(w.seam.boxes[0].text, std::string("フォルダが探せませんでした"));
    QCOMPARE(w.seam.boxes[0].buttons, BoxButtons::Ok);
    QVERIFY(w.seam.openedFolders.empty());

    // A relative directory is made in the working directory and handed to
    // the shell.
    output->setText("out/%3.3d.mp3");
    openFolder->trigger();
    QVERIFY(QFileInfo(temp.filePath("out")).isDir());
    QCOMPARE(w.seam.openedFolders, std::vector<std::string>{"out"});

    // The directory is taken literally, placeholders and all.
    output->setText("out%d/%3.3d.mp3");
    openFolder->trigger();
    QVERIFY(QFileInfo(temp.filePath("out%d")).isDir());
    QCOMPARE(w.seam.openedFolders.back(), std::string("out%d"));

    // An existing directory is opened as it is.
    output->setText(temp.path() + "/out%d/%3.3d.mp3");
    openFolder->trigger();
    QCOMPARE(w.seam.openedFolders.back(), Std(temp.path() + "/out%d"));

    // Only one level is made: a missing parent is an error and nothing opens.
    output->setText("missing/sub/%3.3d.mp3");
    openFolder->trigger();
    QCOMPARE(w.seam.boxes.size(), size_t{2});
    QCOMPARE(w.seam.boxes[1].type, BoxType::Error);
    QCOMPARE(w.seam.boxes[1].text, std::string("Path not found"));
    QCOMPARE(w.seam.openedFolders.size(), size_t{3});
    QVERIFY(!QFileInfo::exists(temp.filePath("missing")));

    // A pattern right below the root names the root.
    output->setText("/%3.3d.mp3");
    openFolder->trigger();
    QCOMPARE(w.seam.openedFolders.back(), std::string("/"));
    QCOMPARE(w.seam.boxes.size(), size_t{2});
  }

  void readmeMissingThenRetried() {
    QTemporaryDir temp;
    WorkingDirectory cwd(temp.path());
    WindowUnderTest w;
    auto* tabs = w.find<QTabWidget>("PageControl1");
    auto* memo = w.find<QPlainTextEdit>("Memo1");

    tabs->setCurrentIndex(kReadmeTab);
    QCOMPARE(memo->toPlainText(), kReadmeFailure);
    QVERIFY(memo->isVisible());

    // The readme is looked for where the program started, not in the
    // working directory of the moment.
    QVERIFY(WriteFile(temp.filePath("readme.txt"), "one\ntwo\n"));
    QTemporaryDir elsewhere;
    QDir::setCurrent(elsewhere.path());
    tabs->setCurrentIndex(0);
    tabs->setCurrentIndex(kReadmeTab);
    QCOMPARE(memo->toPlainText(), QStringLiteral("one\ntwo"));

    // Read once: a later change of the file is not seen.
    QVERIFY(WriteFile(temp.filePath("readme.txt"), "changed\n"));
    tabs->setCurrentIndex(1);
    tabs->setCurrentIndex(kReadmeTab);
    QCOMPARE(memo->toPlainText(), QStringLiteral("one\ntwo"));
  }

  // Without a readable ./readme.txt the copy installed beside the program is
  // shown: share/doc/zandrel/readme.txt above the program's directory.
  void readmeFallsBackToTheInstalledCopy() {
    const QString share = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share");
    QVERIFY2(!QFileInfo::exists(share), "a test must not remove what it did not make");
    struct Remove {
      QString dir;
      ~Remove() { QDir(dir).removeRecursively(); }
    } remove{share};
    QVERIFY(QDir().mkpath(share + "/doc/zandrel"));
    QVERIFY(WriteFile(share + "/doc/zandrel/readme.txt", "installed\ncopy\n"));

    QTemporaryDir temp;
    WorkingDirectory cwd(temp.path());
    {
      WindowUnderTest w;
      w.find<QTabWidget>("PageControl1")->setCurrentIndex(kReadmeTab);
      QCOMPARE(w.find<QPlainTextEdit>("Memo1")->toPlainText(), QStringLiteral("installed\ncopy"));
    }
    // A copy beside the program (its build tree) before the installed one.
    const QString beside = QCoreApplication::applicationDirPath() + "/readme.txt";
    QVERIFY2(!QFileInfo::exists(beside), "a test must not remove what it did not make");
    QVERIFY(WriteFile(beside, "beside\n"));
    {
      WindowUnderTest w;
      w.find<QTabWidget>("PageControl1")->setCurrentIndex(kReadmeTab);
      QCOMPARE(w.find<QPlainTextEdit>("Memo1")->toPlainText(), QStringLiteral("beside"));
    }
    QVERIFY(QFile::remove(beside));
    // The readme of the start-up directory comes first.
    QVERIFY(WriteFile(temp.filePath("readme.txt"), "local\n"));
    {
      WindowUnderTest w;
      w.find<QTabWidget>("PageControl1")->setCurrentIndex(kReadmeTab);
      QCOMPARE(w.find<QPlainTextEdit>("Memo1")->toPlainText(), QStringLiteral("local"));
    }
    // Neither readable: the failure line, and the next visit tries again.
    QVERIFY(QFile::remove(temp.filePath("readme.txt")));
    QVERIFY(QFile::remove(share + "/doc/zandrel/readme.txt"));
    WindowUnderTest w;
    auto* tabs = w.find<QTabWidget>("PageControl1");
    tabs->setCurrentIndex(kReadmeTab);
    QCOMPARE(w.find<QPlainTextEdit>("Memo1")->toPlainText(), kReadmeFailure);
    QVERIFY(WriteFile(share + "/doc/zandrel/readme.txt", "late\n"));
    tabs->setCurrentIndex(0);
    tabs->setCurrentIndex(kReadmeTab);
    QCOMPARE(w.find<QPlainTextEdit>("Memo1")->toPlainText(), QStringLiteral("late"));
  }

  // The log's popup copies every line, or saves them into a file the user
  // chooses, whole or not at all: a failure leaves the file as it was and
  // says so in one box.
  void logIsCopiedAndSavedWhole() {
    QTemporaryDir temp;
    const std::string file = Std(temp.filePath("saved.log"));
    const std::string lines = "first\n\xE3\x81\x82 second\n";
    struct Case {
      const char* what;
      const char* action;
      bool chosen;  // a file is chosen in the save dialog
      int failAt;   // the write the Env fails, 0: none
      std::string copied, saved;
      size_t boxes;
    } cases[] = {
        {"copy all", "CopyLog1", false, 0, lines, "old\n", 0},
        {"save", "SaveLog1", true, 0, "", lines, 0},
        {"save, cancelled", "SaveLog1", false, 0, "", "old\n", 0},
        {"save, the disk full", "SaveLog1", true, 1, "", "old\n", 1},
    };
    for (const auto& c : cases) {
      QVERIFY(WriteFile(ToQ(file), "old\n"));
      WindowUnderTest w;
      w.window->host().AddLog("first");
      w.window->host().AddLog("\xE3\x81\x82 second");
      if (c.chosen) w.seam.saveResults.push_back(file);
      FaultPlan plan(FileOp::Write, c.failAt, ENOSPC);
      w.window->setEnv(plan);
      w.find<QAction>(c.action)->trigger();
      w.window->setEnv(Env::System());
      QCOMPARE(w.seam.copied.empty() ? std::string() : w.seam.copied.back(), c.copied);
      QCOMPARE(ReadFile(ToQ(file)).toStdString(), c.saved);
      QCOMPARE(w.seam.boxes.size(), c.boxes);
      QCOMPARE(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
  }

  void readmeFarTooLargeIsUnreadAndRetried() {
    QTemporaryDir temp;
    WorkingDirectory cwd(temp.path());
    QFile readme(temp.filePath("readme.txt"));
    QVERIFY(readme.open(QIODevice::WriteOnly));
    QVERIFY(readme.resize(kMaxTextFileSize + 1));  // sparse: costs no disk
    readme.close();
    WindowUnderTest w;
    auto* tabs = w.find<QTabWidget>("PageControl1");
    auto* memo = w.find<QPlainTextEdit>("Memo1");
    FaultPlan counter;
    w.window->setEnv(counter);
    tabs->setCurrentIndex(kReadmeTab);
    w.window->setEnv(Env::System());
    QCOMPARE(memo->toPlainText(), kReadmeFailure);
    QCOMPARE(counter.count(FileOp::Read), int64_t{0});
    QVERIFY(WriteFile(temp.filePath("readme.txt"), "small\n"));
    tabs->setCurrentIndex(0);
    tabs->setCurrentIndex(kReadmeTab);
    QCOMPARE(memo->toPlainText(), QStringLiteral("small"));
  }

  void readmeEmptyCountsAsLoaded() {
    QTemporaryDir temp;
    WorkingDirectory cwd(temp.path());
    QVERIFY(WriteFile(temp.filePath("readme.txt"), ""));
    WindowUnderTest w;
    auto* tabs = w.find<QTabWidget>("PageControl1");
    auto* memo = w.find<QPlainTextEdit>("Memo1");
    tabs->setCurrentIndex(kReadmeTab);
    QVERIFY(memo->toPlainText().isEmpty());
    QVERIFY(WriteFile(temp.filePath("readme.txt"), "late\n"));
    tabs->setCurrentIndex(0);
    tabs->setCurrentIndex(kReadmeTab);
    QVERIFY(memo->toPlainText().isEmpty());
  }

  void readmeOfTheRepositoryShownFromItsStart() {
    const QByteArray readme = ReadFile(QStringLiteral(ZANDREL_TEST_DATA "/../../readme.txt"));
    QVERIFY(!readme.isEmpty());
    QTemporaryDir temp;
    WorkingDirectory cwd(temp.path());
    QVERIFY(WriteFile(temp.filePath("readme.txt"), readme));
    WindowUnderTest w;
    auto* memo = w.find<QPlainTextEdit>("Memo1");
    w.find<QTabWidget>("PageControl1")->setCurrentIndex(kReadmeTab);
    QString expected = QString::fromUtf8(readme).replace("\r\n", "\n");
    if (expected.endsWith('\n')) expected.chop(1);
    QCOMPARE(memo->toPlainText(), expected);
    QVERIFY(!memo->toPlainText().contains(kReadmeFailure));
    QCOMPARE(memo->textCursor().position(), 0);
    QVERIFY(!memo->textCursor().hasSelection());
  }
};

QTEST_MAIN(SmallCommandsTest)
#include "small_commands_test.moc"
