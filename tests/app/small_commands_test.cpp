// The commands that are not runs: the input chooser, the log and its two
// menu commands, the readme tab.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include "app_test_util.h"
#include "platform/fault.h"
#include "platform/file.h"

namespace {
const QString kReadmeFailure = QStringLiteral("* readme.txt が読めないよ (´･ω･`)");
constexpr int kReadmeTab = 4;
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
    auto* list = w.find<QListWidget>("lbxLog");
    auto* bar = list->verticalScrollBar();

    w.window->AddLog("first");
    QCOMPARE(list->count(), 1);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(list->visualItemRect(list->item(0)).top(), 0);

    auto newestIsBottomRow = [&] {
      const QRect last = list->visualItemRect(list->item(list->count() - 1));
      const QRect view = list->viewport()->rect();
      return view.contains(last) && view.bottom() - last.bottom() < last.height();
    };
    for (int i = 0; i < 40; ++i) w.window->AddLog("line " + std::to_string(i));
    QVERIFY(bar->maximum() > 0);
    QVERIFY(newestIsBottomRow());

    // Even when the user has scrolled away.
    bar->setValue(0);
    w.window->AddLog("after scrolling up");
    QCOMPARE(list->item(list->count() - 1)->text(), QStringLiteral("after scrolling up"));
    QVERIFY(newestIsBottomRow());

    w.find<QAction>("N1")->trigger();
    QCOMPARE(list->count(), 0);
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
    {
      FaultScope scope(counter);
      tabs->setCurrentIndex(kReadmeTab);
    }
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
