// The checks of an MP3 run with the tag INI option: one input only, and its
// name and CRC-32 against the INI file's "general" values.
#include <zlib.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include "app/running.h"
#include "app_test_util.h"

namespace {

const std::string kSeveral = "IniFileを指定した場合は複数選択できません";
const std::string kNameDiffers =
    "入力ファイル名がINIで指定されたものと違っていますが、続行しますか？";
const std::string kCrcDiffers = "CRCがINIで指定されたものと違っていますが、続行しますか？";

QString CrcText(const QByteArray& bytes) {
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
  return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0')).toUpper();
}

// A window whose tag INI option is on with `iniText` as the tag INI file.
struct IniWindow : WindowUnderTest {
  QTemporaryDir temp;
  QString input;
  QByteArray inputBytes;

  explicit IniWindow(const QString& iniText) {
    input = temp.filePath("in.bin");
    inputBytes = InputWithStreams(1, 101);
    WriteFile(input, inputBytes);
    const QString ini = temp.filePath("tags.ini");
    WriteFile(ini, iniText.toUtf8());
    seam.dialogResults.push_back(std::vector<std::string>{Std(ini)});
    find<QToolButton>("SpeedButton2")->click();
    find<QLineEdit>("edtInput")->setText(input);
    find<QLineEdit>("edtOutput")->setText(temp.path() + "/%3.3d.mp3");
    seam.events.clear();
  }
  void run() { find<QPushButton>("btnExecute")->click(); }
  bool passRan() const { return !log().isEmpty(); }
};

}  // namespace

class PrerunChecksTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InitTestApplication(); }

  void severalInputsAreRefused() {
    IniWindow w("[general]\nInputFile=in.bin\n");
    const QString second = w.temp.filePath("second.bin");
    QVERIFY(WriteFile(second, InputWithStreams(1, 102)));
    w.find<QLineEdit>("edtInput")->setText('"' + w.input + "\",\"" + second + '"');
    w.run();
    QCOMPARE(w.seam.events, (std::vector<std::string>{"beep", "box:" + kSeveral}));
    QCOMPARE(w.seam.boxes[0].type, BoxType::Error);
    QCOMPARE(w.seam.boxes[0].buttons, BoxButtons::Ok);
    QCOMPARE(w.find<QTabWidget>("PageControl1")->currentIndex(), 3);
    QVERIFY(!w.passRan());
    QVERIFY(w.find<QLineEdit>("edtCRC")->text().isEmpty());
    QCOMPARE(w.find<QPushButton>("btnExecute")->text(), QStringLiteral("実行！"));
    QCOMPARE(Running, uint8_t{0});
  }

  // Without the option several inputs are fine.
  void severalInputsWithoutTheOption() {
    IniWindow w("[general]\nInputFile=in.bin\n");
    w.find<QCheckBox>("chkTagIni")->click();
    QVERIFY(!w.find<QCheckBox>("chkTagIni")->isChecked());
    w.find<QLineEdit>("edtInput")->setText(w.input + "," + w.input);
    w.run();
    QVERIFY(w.seam.boxes.empty());
    // The second pass names its stream again: it goes beside the first,
    // told in a line after the stream's.
    QCOMPARE(w.log().size(), 7);
    QVERIFY(w.log()[5].startsWith(QStringLiteral("出力ファイル名を変更しました(")));
  }

  void nameMismatchAsksAndNoEndsTheRun() {
    IniWindow w("[general]\nInputFile=IN.BIN\n");  // differs in letter case only
    w.seam.answers = {BoxAnswer::No};
    w.run();
    QCOMPARE(w.seam.events, (std::vector<std::string>{"beep", "box:" + kNameDiffers}));
    QCOMPARE(w.seam.boxes[0].type, BoxType::Warning);
    QCOMPARE(w.seam.boxes[0].buttons, BoxButtons::YesNo);
    QVERIFY(!w.passRan());
    QCOMPARE(w.find<QPushButton>("btnExecute")->text(), QStringLiteral("実行！"));
  }

  void nameMismatchYesGoesOn() {
    IniWindow w("[general]\nInputFile=other.bin\n");
    w.seam.answers = {BoxAnswer::Yes};
    w.run();
    QCOMPARE(w.seam.boxes.size(), size_t{1});
    QCOMPARE(w.seam.boxes[0].text, kNameDiffers);
    QCOMPARE(w.log().last(), QStringLiteral("1個のmp3を発見。うち1個を抽出しました"));
    QCOMPARE(w.seam.beeps, 2);
  }

  // A name without a directory has an empty base name, which never matches.
  void inputWithoutDirectoryNeverMatches() {
    IniWindow w("[general]\nInputFile=in.bin\n");
    WorkingDirectory cwd(w.temp.path());
    w.find<QLineEdit>("edtInput")->setText("in.bin");
    w.run();
    QCOMPARE(w.seam.events, (std::vector<std::string>{"beep", "box:" + kNameDiffers}));
    QVERIFY(!w.passRan());
  }

  void lowerCaseCrcAsks() {
    const QString crc = CrcText(InputWithStreams(1, 101));
    QVERIFY2(crc != crc.toLower(), "the input's CRC needs a hex letter");
    IniWindow w("[general]\nInputFile=in.bin\nInputCRC=" + crc.toLower() + "\n");
    w.seam.answers = {BoxAnswer::No};
    w.run();
    QCOMPARE(w.seam.events, (std::vector<std::string>{"beep", "box:" + kCrcDiffers}));
    QCOMPARE(w.seam.boxes[0].type, BoxType::Warning);
    QCOMPARE(w.seam.boxes[0].buttons, BoxButtons::YesNo);
    QCOMPARE(w.find<QLineEdit>("edtCRC")->text(), crc);
    QVERIFY(!w.passRan());
  }

  void bothMatchingAsksNothing() {
    const QString crc = CrcText(InputWithStreams(1, 101));
    IniWindow w("[general]\nInputFile=in.bin\nInputCRC=" + crc + "\n");
    QStringList crcAtLogLines;
    auto* log = w.find<QListView>("lbxLog");
    QObject::connect(log->model(), &QAbstractItemModel::rowsInserted, log,
                     [&] { crcAtLogLines << w.find<QLineEdit>("edtCRC")->text(); });
    w.run();
    QVERIFY(w.seam.boxes.empty());
    QCOMPARE(w.seam.events, std::vector<std::string>{"beep"});
    QVERIFY(!crcAtLogLines.isEmpty());
    QCOMPARE(crcAtLogLines.first(), crc);
    QCOMPARE(w.log().last(), QStringLiteral("1個のmp3を発見。うち1個を抽出しました"));
    QCOMPARE(ReadFile(w.input), w.inputBytes);
  }

  void checksumFailureEndsTheRun() {
    IniWindow w("[general]\nInputCRC=00000000\n");
    QVERIFY(QFile::remove(w.input));
    w.run();
    QCOMPARE(w.seam.events, std::vector<std::string>{"box:File not found"});
    QCOMPARE(w.seam.boxes[0].type, BoxType::Error);
    QVERIFY(!w.passRan());
    QCOMPARE(Running, uint8_t{0});
    QCOMPARE(w.find<QPushButton>("btnExecute")->text(), QStringLiteral("実行！"));
  }

  // A missing tag INI file has no expectations: nothing is checked.
  void missingIniFileChecksNothing() {
    IniWindow w("[general]\nInputFile=other.bin\nInputCRC=00000000\n");
    QVERIFY(QFile::remove(w.temp.filePath("tags.ini")));
    w.run();
    QVERIFY(w.seam.boxes.empty());
    QVERIFY(w.find<QLineEdit>("edtCRC")->text().isEmpty());
    QCOMPARE(w.log().last(), QStringLiteral("1個のmp3を発見。うち1個を抽出しました"));
  }

  // An output folder no output could be made in is said in one box before
  // the run of All, with its cause: no line, no file, no folder. (MP3 alone
  // asks about each stream, as it always did.)
  void anOutputFolderThatCannotBeMadeIsOneBoxBeforeTheRun() {
    IniWindow w("[general]\n");
    w.find<QCheckBox>("chkTagIni")->setChecked(false);
    WriteFile(w.temp.filePath("file"), "x");
    const struct {
      QString pattern;
      std::string box;
    } rows[] = {
        {w.temp.filePath("file/%3.3d.mp3"), "出力フォルダ(" + Std(w.temp.filePath("file")) +
                                                ")に書き込めません: フォルダではありません"},
        {w.temp.filePath("no/such/%3.3d.mp3"),
         "出力フォルダ(" + Std(w.temp.filePath("no/such")) +
             ")に書き込めません: そのようなファイルやフォルダはありません"},
    };
    for (const auto& row : rows) {
      w.seam.events.clear();
      w.find<QLineEdit>("edtOutput")->setText(row.pattern);
      w.find<QAction>("AllFormats1")->trigger();
      QCOMPARE(w.seam.events, (std::vector<std::string>{"beep", "box:" + row.box}));
      QCOMPARE(w.seam.boxes.back().type, BoxType::Error);
      QVERIFY(!w.passRan());
      QCOMPARE(QDir(w.temp.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
               (QStringList{"file", "in.bin", "tags.ini"}));
    }
  }
};

QTEST_MAIN(PrerunChecksTest)
#include "prerun_checks_test.moc"
