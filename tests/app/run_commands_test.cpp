// The run commands: input lists, cancelling from inside the event pump, the
// popup-menu entries during a run, failures while writing, nested runs and
// closing the window during a run.
#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QtTest>
#include <filesystem>

#include "app/running.h"
#include "app/stream_strip.h"
#include "app/text_conv.h"
#include "app_test_util.h"
#include "carve/engine/formats.h"
#include "carve/engine/run.h"
#include "platform/fault.h"

namespace {

const QString kMp3Opening = QStringLiteral("からMP3ファイルを探しますっ！");

QString Quoted(const QString& path) { return '"' + path + '"'; }

// Runs `action` from inside the first event pump of whatever runs next.
void FromInsideThePump(QObject* context, std::function<void()> action) {
  QTimer::singleShot(0, context, std::move(action));
}

}  // namespace

class RunCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InitTestApplication(); }

  void threeInputsOfWhichTheSecondIsMissing() {
    QTemporaryDir temp;
    const QString a = temp.filePath("a.bin"), b = temp.filePath("b.bin"),
                  c = temp.filePath("c.bin");
    const QByteArray bytesA = InputWithStreams(1, 11), bytesC = InputWithStreams(2, 22);
    QVERIFY(WriteFile(a, bytesA));
    QVERIFY(WriteFile(c, bytesC));
    WindowUnderTest w;
    w.find<QLineEdit>("edtInput")->setText(a + "," + b + "," + c);
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/out/%f_%3.3d.mp3");
    w.find<QPushButton>("btnExecute")->click();

    QCOMPARE(w.seam.boxes.size(), size_t{1});
    QCOMPARE(w.seam.boxes[0].type, BoxType::Warning);
    QCOMPARE(w.seam.boxes[0].text, Std("入力ファイルが存在しません(" + b + ")"));
    QCOMPARE(w.seam.boxes[0].buttons, BoxButtons::Ok);
    // A beep before the box, one at the end of the run.
    QCOMPARE(w.seam.events,
             (std::vector<std::string>{"beep", "box:" + w.seam.boxes[0].text, "beep"}));

    const QStringList log = w.log();
    QCOMPARE(log.size(), 7);
    QCOMPARE(log[0], Quoted(a) + kMp3Opening);
    QCOMPARE(log[2], QStringLiteral("1個のmp3を発見。うち1個を抽出しました"));
    QCOMPARE(log[3], Quoted(c) + kMp3Opening);
    QCOMPARE(log[6], QStringLiteral("2個のmp3を発見。うち2個を抽出しました"));
    QVERIFY(!log.join('\n').contains(b));

    const QByteArray mp3 = Fixture("mpeg1_cbr128.mp3");
    QCOMPARE(ReadFile(temp.filePath("out/a.bin_001.mp3")), mp3);
    QCOMPARE(ReadFile(temp.filePath("out/c.bin_001.mp3")), mp3);
    QCOMPARE(ReadFile(temp.filePath("out/c.bin_002.mp3")), mp3);
    QCOMPARE(ReadFile(a), bytesA);
    QCOMPARE(ReadFile(c), bytesC);

    QCOMPARE(w.find<QPushButton>("btnExecute")->text(), QStringLiteral("実行！"));
    QCOMPARE(Running, uint8_t{0});
  }

  void directoriesAndSpecialFilesAreReportedAndTheNextInputIsScanned() {
    QTemporaryDir temp;
    const QString good = temp.filePath("good.bin");
    const QByteArray bytes = InputWithStreams(1, 5);
    QVERIFY(WriteFile(good, bytes));
    WindowUnderTest w;
    w.find<QLineEdit>("edtInput")->setText(temp.path() + ",/dev/null," + good);
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/out/%3.3d.mp3");
    w.find<QPushButton>("btnExecute")->click();

    QCOMPARE(w.seam.boxes.size(), size_t{2});
    QCOMPARE(w.seam.boxes[0].text, Std("入力ファイルが存在しません(" + temp.path() + ")"));
    QCOMPARE(w.seam.boxes[1].type, BoxType::Error);
    QCOMPARE(w.seam.boxes[1].text, std::string("Not a regular file"));
    const QStringList log = w.log();
    QVERIFY(log.contains(QStringLiteral("* Not a regular file")));
    QCOMPARE(log.last(), QStringLiteral("1個のmp3を発見。うち1個を抽出しました"));
    QCOMPARE(ReadFile(temp.filePath("out/001.mp3")), Fixture("mpeg1_cbr128.mp3"));
    QCOMPARE(ReadFile(good), bytes);
  }

  // However many inputs the window is given, and whatever bytes their names
  // hold, each is scanned: from the command line, the chooser, a drop and
  // the folder chooser. A list too long to read shows as a count (a folder
  // as itself), and typing into the field makes the typed name the input.
  void everyInputIsScannedHoweverManyAndWhateverTheirNames() {
    enum Way { CommandLine, Chooser, Drop, Folder };
    struct Row {
      const char* what;
      Way way;
      int files;
      const char* prefix;  // the bytes each name begins with
      const char* shown;   // the field's text: %1 the folder, %2 the count
    };
    const std::vector<Row> rows = {
        {"command line", CommandLine, 1000, "f", "%2個のファイル"},
        {"chooser", Chooser, 1000, "f", "%2個のファイル"},
        {"drop", Drop, 1000, "f", "%2個のファイル"},
        {"folder", Folder, 1000, "f", "%1 (%2個のファイル)"},
        {"a name not UTF-8, command line", CommandLine, 1, "\xff\xfe", nullptr},
        {"names not UTF-8, dropped", Drop, 2, "\xe3\x81", nullptr},
        {"names not UTF-8 in a folder", Folder, 2, "\xc0\x80", nullptr},
    };
    for (const Row& row : rows) {
      QTemporaryDir temp;
      const std::string dir = QFile::encodeName(temp.path()).toStdString() + "/in";
      QVERIFY(QDir().mkpath(temp.filePath("in")));
      std::vector<std::string> names;
      for (int i = 0; i < row.files; ++i) {
        names.push_back(dir + "/" + row.prefix +
                        QString::number(i).rightJustified(5, '0').toStdString() + ".bin");
        const int fd = ::open(names.back().c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        QVERIFY(fd >= 0);
        const QByteArray bytes = i == 0 ? InputWithStreams(1, 7) : QByteArray("x");
        QCOMPARE(::write(fd, bytes.constData(), bytes.size()), ssize_t(bytes.size()));
        ::close(fd);
      }
      WindowUnderTest w;
      auto* input = w.find<QLineEdit>("edtInput");
      if (row.way == CommandLine) w.window->SetInputFiles(names);
      if (row.way == Chooser) {
        w.seam.dialogResults.push_back(names);
        w.find<QToolButton>("SpeedButton1")->click();
      }
      if (row.way == Folder) {
        w.seam.folderResults.push_back(dir);
        w.find<QToolButton>("btnInputFolder")->click();
      }
      if (row.way == Drop) {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& name : names)
          urls << QUrl::fromEncoded("file://" +
                                    QByteArray::fromStdString(name).toPercentEncoding("/"));
        data.setUrls(urls);
        const QPoint pos = input->rect().center();
        QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(input, &enter);
        QDropEvent drop(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(input, &drop);
      }
      if (row.shown != nullptr) {
        QCOMPARE(input->text(), QString::fromUtf8(row.shown)
                                    .replace("%1", temp.filePath("in"))
                                    .replace("%2", QString::number(row.files)));
        QVERIFY(input->toolTip().startsWith(ToQ(names[0]) + '\n' + ToQ(names[1]) + '\n'));
      }
      w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/out/%3.3d.mp3");
      w.find<QPushButton>("btnExecute")->click();
      QVERIFY2(w.seam.boxes.empty(), row.what);
      QVERIFY2(w.log().filter(kMp3Opening).size() == row.files, row.what);
      QCOMPARE(ReadFile(temp.filePath("out/001.mp3")), Fixture("mpeg1_cbr128.mp3"));

      // Typed text takes the place of the list.
      input->setText(temp.filePath("in/none.bin"));
      QVERIFY(input->toolTip().isEmpty());
      w.find<QPushButton>("btnExecute")->click();
      QCOMPARE(w.seam.boxes.size(), size_t{1});
      QCOMPARE(w.seam.boxes[0].text,
               Std("入力ファイルが存在しません(" + temp.filePath("in/none.bin") + ")"));
      // QTemporaryDir cannot name what is not UTF-8.
      std::filesystem::remove_all(dir);
    }
  }

  void emptyInputFieldIsOneMissingInput() {
    WindowUnderTest w;
    w.find<QPushButton>("btnExecute")->click();
    QCOMPARE(w.seam.events,
             (std::vector<std::string>{"beep", "box:入力ファイルが存在しません()", "beep"}));
    QVERIFY(w.log().isEmpty());
  }

  void secondPressCancelsAfterTheCurrentFile() {
    QTemporaryDir temp;
    const QString big = temp.filePath("big.bin"), next = temp.filePath("next.bin");
    QByteArray bytes = Filler(200000, 5) + InputWithStreams(1, 6);
    QVERIFY(WriteFile(big, bytes));
    QVERIFY(WriteFile(next, InputWithStreams(1, 7)));
    WindowUnderTest w;
    auto* button = w.find<QPushButton>("btnExecute");
    w.find<QLineEdit>("edtInput")->setText(big + "," + next);
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/%3.3d.mp3");

    QString captionDuringRun;
    FromInsideThePump(w.window.get(), [&] {
      captionDuringRun = button->text();
      button->click();
      QCOMPARE(Running, uint8_t{0});
      // Cancelling: the caption stays until the pass has returned.
      QCOMPARE(button->text(), QStringLiteral("キャンセル"));
    });
    button->click();

    QCOMPARE(captionDuringRun, QStringLiteral("キャンセル"));
    QCOMPARE(w.log(), (QStringList{Quoted(big) + kMp3Opening, "Not Found (T-T)"}));
    QCOMPARE(w.seam.beeps, 1);
    QVERIFY(w.seam.boxes.empty());
    QCOMPARE(button->text(), QStringLiteral("実行！"));
    QVERIFY(!QFileInfo::exists(temp.filePath("001.mp3")));
    QCOMPARE(ReadFile(big), bytes);
  }

  // The formats of the Execute button, from the drop-down beside it: MP3
  // alone by default, which gives what the MP3 pass always gave; ticked
  // formats run in one read of each input, as the run of those rows does.
  void executeRunsTheTickedFormatsInOneRead() {
    QTemporaryDir temp;
    const QString input = temp.filePath("in.bin");
    const QByteArray bytes =
        InputWithStreams(1, 61) + Fixture("wave_s16_stereo.wav") + Filler(3000, 62);
    QVERIFY(WriteFile(input, bytes));
    std::vector<std::string> every;
    for (const FormatRow& row : Formats()) every.emplace_back(row.command);
    const struct {
      const char* name;
      QStringList ticks;  // entries of the drop-down, triggered in order
      std::vector<std::string> formats;
      QString caption;
    } cases[] = {
        {"default", {}, {"mp3"}, "MP3"},
        {"mp3 and wav", {"fmt_wav"}, {"mp3", "wav"}, "MP3+WAV"},
        {"wav alone", {"fmt_wav", "fmt_mp3"}, {"wav"}, "WAV"},
        {"the last one stays", {"fmt_mp3"}, {"mp3"}, "MP3"},
        {"three", {"fmt_ogg", "fmt_flac"}, {"mp3", "ogg", "flac"}, "3形式"},
        {"all", {"fmt_all"}, every, "すべて"},
        {"all, then one less",
         {"fmt_all", ToQ("fmt_" + every.back())},
         {every.begin(), every.end() - 1},
         QString::number(every.size() - 1) + "形式"},
        {"all and back", {"fmt_all", "fmt_all"}, {"mp3"}, "MP3"},
    };
    {
      // Each entry names its format and what it carves, after a swatch of
      // its colour in the picture; a title says what the list chooses.
      WindowUnderTest w;
      const QList<QAction*> entries = w.find<QToolButton>("btnFormats")->menu()->actions();
      QVERIFY(entries[0]->isSeparator());
      QCOMPARE(entries[0]->text(), QStringLiteral("実行！で抽出する形式"));
      for (size_t i = 0; i < every.size(); ++i) {
        const QAction* entry = entries[static_cast<qsizetype>(i) + 1];
        QCOMPARE(entry->objectName(), ToQ("fmt_" + every[i]));
        QVERIFY(entry->text().endsWith(
            QString::fromLatin1(Formats()[i].usage.data(), Formats()[i].usage.size())));
        // Its colour at a corner, and a tick inside while it is ticked.
        const QImage swatch = entry->icon().pixmap(12, 12).toImage();
        QCOMPARE(swatch.pixelColor(0, 0), FormatColour(i));
        QCOMPARE(swatch.pixelColor(5, 9) != FormatColour(i), i == 0);
      }
    }
    int index = 0;
    for (const auto& c : cases) {
      const QString dir = temp.filePath(QString::number(++index));
      QVERIFY(QDir().mkpath(dir));
      WindowUnderTest w;
      w.find<QLineEdit>("edtInput")->setText(input);
      w.find<QLineEdit>("edtOutput")->setText(dir + "/run/%3.3d.mp3");
      for (const QString& tick : c.ticks) w.find<QAction>(Std(tick).c_str())->trigger();
      std::vector<std::string> ticked;
      for (const FormatRow* row : w.window->TickedFormats()) ticked.emplace_back(row->command);
      QVERIFY2(ticked == c.formats, c.name);
      QCOMPARE(w.find<QToolButton>("btnFormats")->text(), c.caption);
      QCOMPARE(w.find<QAction>("fmt_all")->isChecked(), ticked.size() == every.size());
      w.find<QPushButton>("btnExecute")->click();

      // The same rows through the run of the engine, in a window of its own.
      WindowUnderTest engine;
      std::vector<const FormatRow*> rows;
      for (const std::string& command : c.formats) rows.push_back(FindFormat(command));
      Running = 1;
      const NameList inputs{Std(input)};
      CarveInputs(engine.window->host(),
                  {inputs, rows, [&] { return Std(dir + "/e/%3.3d.mp3"); }, {}});
      Running = 0;
      QCOMPARE(w.log(), engine.log());
      // One read: the opening lines of the formats come first, one each.
      for (size_t i = 0; i < rows.size(); ++i) {
        QCOMPARE(w.log()[int(i)], Quoted(input) + ToQ(std::string(rows[i]->opening)));
      }
      QStringList written = QDir(dir + "/run").entryList(QDir::Files, QDir::Name);
      QCOMPARE(written, QDir(dir + "/e").entryList(QDir::Files, QDir::Name));
      for (const QString& name : written) {
        QCOMPARE(ReadFile(dir + "/run/" + name), ReadFile(dir + "/e/" + name));
      }
      QVERIFY2(written.contains("001.mp3") == (ticked.front() == "mp3"),
               Std(w.log().join('\n') + "\n" + written.join(',')).c_str());
      QCOMPARE(w.seam.beeps, 1);
      QCOMPARE(w.find<QPushButton>("btnExecute")->text(), QStringLiteral("実行！"));
      QCOMPARE(w.find<QPushButton>("btnExecute")->size(), QSize(73, 22));
    }
    QCOMPARE(ReadFile(input), bytes);
  }

  // The box of a failing stream names the path, and its answer may stand
  // for the rest of the run: a folder that cannot be made is asked about
  // once, not once a stream. A new run asks again.
  void failureAnswerForTheRestOfTheRun() {
    QTemporaryDir temp;
    const QString a = temp.filePath("a.bin"), b = temp.filePath("b.bin");
    QVERIFY(WriteFile(a, InputWithStreams(3, 71)));
    QVERIFY(WriteFile(b, InputWithStreams(2, 72)));
    const struct {
      const char* name;
      bool same;
      BoxAnswer answer;
      size_t boxes;     // in one run
      int failedLines;  // "* Path not found" in the log of one run
    } cases[] = {
        {"ignore, for the rest", true, BoxAnswer::Ignore, 1, 5},
        {"ignore, each time", false, BoxAnswer::Ignore, 5, 5},
        {"abort, for the rest", true, BoxAnswer::Abort, 1, 2},
        {"abort, each time", false, BoxAnswer::Abort, 2, 2},
        {"closed without a button", true, BoxAnswer::None, 2, 2},
    };
    for (const auto& c : cases) {
      WindowUnderTest w;
      w.find<QLineEdit>("edtInput")->setText(a + "," + b);
      w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/missing/sub/%f%3.3d.mp3");
      w.seam.tickSameForRest = c.same;
      w.seam.defaultAnswer = c.answer;
      for (int run = 1; run <= 2; ++run) {
        w.find<QPushButton>("btnExecute")->click();
        QVERIFY2(w.seam.boxes.size() == c.boxes * run, c.name);
        QCOMPARE(w.log().count(QStringLiteral("* Path not found")), c.failedLines * run);
      }
      for (const ShownBox& box : w.seam.boxes) {
        QCOMPARE(box.buttons, BoxButtons::AbortIgnore);
        QVERIFY(box.text.starts_with("Path not found\n"));
      }
      QCOMPARE(w.seam.failurePaths.size(), w.seam.boxes.size());
      for (const std::string& path : w.seam.failurePaths) {
        QVERIFY2(path.starts_with(Std(temp.path() + "/missing")), path.c_str());
      }
    }
    QVERIFY(!QFileInfo::exists(temp.filePath("missing")));
  }

  // What the window shows of a run besides the log: the bar's text and the
  // status, with a clock that stands still; a cancel says so in both, and
  // the log stays as it always was.
  void progressTextAndStatusOfARun() {
    QTemporaryDir temp;
    const QString big = temp.filePath("big.bin"), next = temp.filePath("next.bin");
    QVERIFY(WriteFile(big, Filler(200000, 91) + InputWithStreams(1, 92)));
    QVERIFY(WriteFile(next, InputWithStreams(1, 93)));
    for (const bool cancel : {false, true}) {
      WindowUnderTest w;
      int64_t now = 5000;
      w.window->setClock([&now] { return now; });
      auto* bar = w.find<QProgressBar>("prgScan");
      auto* status = w.find<QLabel>("lblStatus");
      QVERIFY(!bar->isTextVisible());
      w.find<QLineEdit>("edtInput")->setText(big + "," + next);
      w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/%3.3d.mp3");
      QString textDuringRun, statusDuringRun;
      FromInsideThePump(w.window.get(), [&] {
        now += 2000;  // the walk of the first input took two seconds so far
        statusDuringRun = status->text();
        if (cancel) w.find<QPushButton>("btnExecute")->click();
      });
      w.find<QPushButton>("btnExecute")->click();
      QCOMPARE(statusDuringRun, big);
      QVERIFY(bar->isTextVisible());
      if (cancel) {
        QCOMPARE(bar->format(), QStringLiteral("キャンセルしました  経過 0:02"));
        QCOMPARE(status->text(), QStringLiteral("キャンセルしました"));
        QCOMPARE(w.log(), (QStringList{Quoted(big) + kMp3Opening, "Not Found (T-T)"}));
      } else {
        // The second input began with the clock standing: no rate is known;
        // the run is over: no time left is shown.
        QCOMPARE(bar->format(),
                 QString::number(bar->value()) + QStringLiteral("%  --.-MB/s  経過 0:02"));
        QCOMPARE(status->text(), QStringLiteral("終了しました"));
        // Both inputs' first streams are named 001.mp3: the second goes
        // beside the first, told in a line after its stream's.
        QCOMPARE(w.log().size(), 7);
        QVERIFY(w.log()[5].startsWith(QStringLiteral("出力ファイル名を変更しました(")));
      }
    }
  }

  // The copy of a stream pumps no events, so a cancel is seen once it has
  // ended: the stream in copy appears whole under its name (never cut
  // short), and nothing after it is written.
  void cancelArrivingDuringACopy() {
    QTemporaryDir temp;
    const QString input = temp.filePath("in.bin"), next = temp.filePath("next.bin");
    QVERIFY(WriteFile(input, InputWithStreams(2, 8)));
    QVERIFY(WriteFile(next, InputWithStreams(1, 9)));
    WindowUnderTest w;
    w.find<QLineEdit>("edtInput")->setText(input + "," + next);
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/%3.3d.mp3");
    FaultPlan cancelInCopy(FileOp::Write, 1, 0);
    cancelInCopy.setAction([] { Running = 0; });
    w.window->setEnv(cancelInCopy);
    w.find<QPushButton>("btnExecute")->click();
    w.window->setEnv(Env::System());
    QVERIFY(cancelInCopy.fired());
    QCOMPARE(ReadFile(temp.filePath("001.mp3")), Fixture("mpeg1_cbr128.mp3"));
    QCOMPARE(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    // The first input's opening line, stream and summary; no other input.
    QCOMPARE(w.log().size(), 3);
    QCOMPARE(w.log().last(), QStringLiteral("1個のmp3を発見。うち1個を抽出しました"));
  }

  // The engine may ask for a turn of the event pump every few MB: a turn
  // comes at most every half pump interval (by the window's clock), and
  // every time for an interval of 0.
  void theEventPumpTurnsAtMostEveryHalfInterval() {
    struct Counter : QObject {
      int events = 0;
      bool event(QEvent*) override { return ++events, true; }
    };
    const struct {
      int intervalMs, stepMs, calls, turns;
    } rows[] = {
        {25, 0, 1000, 1},    // the clock stands still
        {25, 1, 1000, 84},   // every 12 ms: at 0, 12, ... 996
        {25, 30, 100, 100},  // every call is late enough
        {0, 0, 1000, 1000},  // tests and benchmarks: every call
    };
    for (const auto& row : rows) {
      WindowUnderTest w;
      int64_t now = 1000;
      w.window->setClock([&now] { return now; });
      w.window->setPumpIntervalMs(row.intervalMs);
      Counter counter;
      int turns = 0;
      for (int i = 0; i < row.calls; ++i, now += row.stepMs) {
        const int before = counter.events;
        QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
        w.window->host().ProcessEvents();
        turns += counter.events > before ? 1 : 0;
      }
      QCOMPARE(turns, row.turns);
    }
  }

  void oggEntryDuringAnMp3RunOnlyCancels() {
    QTemporaryDir temp;
    const QString big = temp.filePath("big.bin"), next = temp.filePath("next.bin");
    QVERIFY(WriteFile(big, Filler(200000, 8) + Fixture("vorbis_mono.ogg")));
    QVERIFY(WriteFile(next, Fixture("vorbis_mono.ogg")));
    WindowUnderTest w;
    w.find<QLineEdit>("edtInput")->setText(big + "," + next);
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/%3.3d.mp3");
    FromInsideThePump(w.window.get(), [&] { w.find<QAction>("OggVorbis1")->trigger(); });
    w.find<QPushButton>("btnExecute")->click();

    QCOMPARE(w.log(), (QStringList{Quoted(big) + kMp3Opening, "Not Found (T-T)"}));
    QCOMPARE(w.seam.beeps, 1);
    QCOMPARE(w.find<QPushButton>("btnExecute")->text(), QStringLiteral("実行！"));
    QCOMPARE(QDir(temp.path()).entryList(QDir::Files).size(), 2);
  }

  void allFormatsEntryCarvesEveryKindInOneRunAndCancelsLikeTheOthers() {
    QTemporaryDir temp;
    const QString input = temp.filePath("mix.bin");
    const QByteArray mp3 = Fixture("mpeg1_cbr128.mp3"), ogg = Fixture("vorbis_stereo.ogg"),
                     wav = Fixture("wave_u8_mono.wav");
    QVERIFY(WriteFile(input, Filler(3001, 51) + wav + Filler(999, 52) + mp3 + Filler(777, 53) +
                                 ogg + Filler(500, 54)));
    WindowUnderTest w;
    w.find<QLineEdit>("edtInput")->setText(input);
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/out/%3.3d.mp3");
    w.find<QSpinBox>("updFrameNum")->setValue(2);  // the Ogg fixture has three pages
    w.find<QAction>("AllFormats1")->trigger();

    // Every row `all` runs opens and sums up; only the first three find
    // anything here.
    const int rows = static_cast<int>(AllFormatRows().size());
    const QStringList log = w.log();
    QCOMPARE(log.size(), 2 * rows + 3);
    QCOMPARE(log[0], Quoted(input) + kMp3Opening);
    QCOMPARE(log[1], Quoted(input) + QStringLiteral("からOggファイルを探しますっ！"));
    QCOMPARE(log[2], Quoted(input) + QStringLiteral("からWavファイルを探しますっ！"));
    for (int i = 3; i < rows; ++i) QVERIFY(log[i].startsWith(Quoted(input) + "から"));
    QVERIFY(log[rows].endsWith("RIFF Wav"));  // in order of offset
    QVERIFY(log[rows + 1].contains("mpeg1.0layer3"));
    QVERIFY(log[rows + 2].contains("OggVorbis"));
    QCOMPARE(log[rows + 3], QStringLiteral("1個のmp3を発見。うち1個を抽出しました"));
    QCOMPARE(log[rows + 5], QStringLiteral("1個のwavを発見。うち1個を抽出しました"));
    for (int i = rows + 6; i < log.size(); ++i) QCOMPARE(log[i], QStringLiteral("Not Found (T-T)"));
    QCOMPARE(ReadFile(temp.filePath("out/001.mp3")), mp3);
    QCOMPARE(ReadFile(temp.filePath("out/001.ogg")), ogg);
    QCOMPARE(ReadFile(temp.filePath("out/001.wav")), wav);
    QCOMPARE(w.seam.beeps, 1);

    // The entry during a run cancels it, as the other run commands do.
    const QString big = temp.filePath("big.bin");
    QVERIFY(WriteFile(big, Filler(300000, 55) + mp3));
    WindowUnderTest c;
    c.find<QLineEdit>("edtInput")->setText(big);
    c.find<QLineEdit>("edtOutput")->setText(temp.path() + "/c/%3.3d.mp3");
    FromInsideThePump(c.window.get(), [&] { c.find<QAction>("AllFormats1")->trigger(); });
    c.find<QAction>("AllFormats1")->trigger();
    QCOMPARE(c.log().size(), 2 * rows);  // an opening and a summary line for each row
    QCOMPARE(c.log()[rows], QStringLiteral("Not Found (T-T)"));
    QVERIFY(!QFileInfo::exists(temp.filePath("c")));
    QCOMPARE(c.find<QPushButton>("btnExecute")->text(), QStringLiteral("実行！"));
  }

  void outputPatternIsReadForEveryInput() {
    QTemporaryDir temp;
    const QString first = temp.filePath("first.bin"), second = temp.filePath("second.bin");
    QVERIFY(WriteFile(first, InputWithStreams(1, 31, 60000)));
    QVERIFY(WriteFile(second, InputWithStreams(1, 32)));
    WindowUnderTest w;
    auto* output = w.find<QLineEdit>("edtOutput");
    w.find<QLineEdit>("edtInput")->setText(first + "," + second);
    output->setText(temp.path() + "/old_%3.3d.mp3");
    FromInsideThePump(w.window.get(), [&] { output->setText(temp.path() + "/new_%3.3d.mp3"); });
    w.find<QPushButton>("btnExecute")->click();

    // The first input keeps the pattern it started with; the second one
    // takes the edited one.
    QVERIFY(QFileInfo::exists(temp.filePath("old_001.mp3")));
    QVERIFY(QFileInfo::exists(temp.filePath("new_001.mp3")));
    QCOMPARE(QDir(temp.path()).entryList({"*.mp3"}, QDir::Files).size(), 2);
  }

  void abortAndIgnoreWhenTheOutputFolderCannotBeMade() {
    QTemporaryDir temp;
    const QString input = temp.filePath("in.bin");
    const QByteArray bytes = InputWithStreams(2, 41);
    QVERIFY(WriteFile(input, bytes));
    const std::string failure = "Path not found\n1番目のファイルの処理中にエラーが起こりました";

    {
      WindowUnderTest w;
      w.find<QLineEdit>("edtInput")->setText(input);
      w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/missing/sub/%3.3d.mp3");
      w.seam.answers = {BoxAnswer::Abort};
      w.find<QPushButton>("btnExecute")->click();
      QCOMPARE(w.seam.boxes.size(), size_t{1});
      QCOMPARE(w.seam.boxes[0].type, BoxType::Error);
      QCOMPARE(w.seam.boxes[0].buttons, BoxButtons::AbortIgnore);
      QCOMPARE(w.seam.boxes[0].text, failure);
      const QStringList log = w.log();
      QCOMPARE(log.size(), 3);
      QCOMPARE(log[2], QStringLiteral("* Path not found"));
      QCOMPARE(w.seam.beeps, 1);
    }
    {
      WindowUnderTest w;
      w.find<QLineEdit>("edtInput")->setText(input);
      w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/missing/sub/%3.3d.mp3");
      w.seam.defaultAnswer = BoxAnswer::Ignore;
      w.find<QPushButton>("btnExecute")->click();
      QCOMPARE(w.seam.boxes.size(), size_t{2});
      QCOMPARE(w.seam.boxes[0].text, failure);
      QCOMPARE(w.log().count(QStringLiteral("* Path not found")), 2);
      QCOMPARE(w.log().last(), QStringLiteral("2個のmp3を発見。うち0個を抽出しました"));
      QCOMPARE(w.seam.beeps, 1);
    }
    QVERIFY(!QFileInfo::exists(temp.filePath("missing")));
    QCOMPARE(ReadFile(input), bytes);
  }

  void fullDiskIsReportedNotPassedAsWritten() {
    QTemporaryDir temp;
    const QString input = temp.filePath("in.bin");
    const QByteArray bytes = InputWithStreams(1, 51);
    QVERIFY(WriteFile(input, bytes));
    WindowUnderTest w;
    w.find<QLineEdit>("edtInput")->setText(input);
    w.find<QLineEdit>("edtOutput")->setText(temp.filePath("%3.3d.mp3"));
    w.seam.defaultAnswer = BoxAnswer::Ignore;
    {
      FaultPlan fullDisk(FileOp::Write, 1, ENOSPC, true);
      w.window->setEnv(fullDisk);
      w.find<QPushButton>("btnExecute")->click();
      w.window->setEnv(Env::System());
    }
    QVERIFY(!QFileInfo::exists(temp.filePath("001.mp3")));
    QCOMPARE(w.seam.boxes.size(), size_t{1});
    QCOMPARE(w.seam.boxes[0].text,
             std::string("Disk full\n1番目のファイルの処理中にエラーが起こりました"));
    QVERIFY(w.log().contains(QStringLiteral("* Disk full")));
    QCOMPARE(w.log().last(), QStringLiteral("1個のmp3を発見。うち0個を抽出しました"));
    QCOMPARE(ReadFile(input), bytes);
  }

  // Earlier outputs scanned again: no output of the run is written over any
  // of its inputs, whichever of them is being scanned.
  void rescanningEarlierOutputsLeavesThemAsTheyWere() {
    QTemporaryDir temp;
    const QString input = temp.filePath("in.bin");
    QVERIFY(WriteFile(input, InputWithStreams(2, 52)));
    WindowUnderTest w;
    w.find<QLineEdit>("edtInput")->setText(input);
    w.find<QLineEdit>("edtOutput")->setText(temp.filePath("out/%3.3d.mp3"));
    w.find<QPushButton>("btnExecute")->click();
    const QStringList outputs = {temp.filePath("out/001.mp3"), temp.filePath("out/002.mp3")};
    const QByteArray first = ReadFile(outputs[0]), second = ReadFile(outputs[1]);
    QVERIFY(!first.isEmpty() && !second.isEmpty());

    w.seam.defaultAnswer = BoxAnswer::Ignore;
    w.find<QLineEdit>("edtInput")->setText(outputs.join(','));
    w.find<QPushButton>("btnExecute")->click();
    QCOMPARE(w.seam.boxes.size(), size_t{2});
    for (const auto& box : w.seam.boxes)
      QVERIFY(box.text.starts_with("出力ファイルが入力ファイルと同じです\n"));
    QCOMPARE(ReadFile(outputs[0]), first);
    QCOMPARE(ReadFile(outputs[1]), second);
  }

  // A run started while a cancelled one is still unwinding runs nested in
  // it; the outer run then ends as soon as it gets control back.
  void runStartedWhileTheCancelledOneUnwinds() {
    QTemporaryDir temp;
    const QString big = temp.filePath("big.bin"), small = temp.filePath("small.bin");
    QVERIFY(WriteFile(big, Filler(200000, 61) + InputWithStreams(1, 62)));
    QVERIFY(WriteFile(small, InputWithStreams(1, 63)));
    WindowUnderTest w;
    auto* button = w.find<QPushButton>("btnExecute");
    auto* input = w.find<QLineEdit>("edtInput");
    input->setText(big);
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/%f_%3.3d.mp3");
    bool nestedRan = false;
    FromInsideThePump(w.window.get(), [&] {
      button->click();  // cancel
      input->setText(small);
      button->click();  // a new run, nested
      nestedRan = true;
      QCOMPARE(Running, uint8_t{0});
      QCOMPARE(button->text(), QStringLiteral("実行！"));
    });
    button->click();

    QVERIFY(nestedRan);
    const QStringList log = w.log();
    QCOMPARE(log.size(), 5);
    QCOMPARE(log[0], Quoted(big) + kMp3Opening);
    QCOMPARE(log[1], Quoted(small) + kMp3Opening);
    QCOMPARE(log[3], QStringLiteral("1個のmp3を発見。うち1個を抽出しました"));
    QCOMPARE(log[4], QStringLiteral("Not Found (T-T)"));
    QCOMPARE(w.seam.beeps, 2);
    QVERIFY(QFileInfo::exists(temp.filePath("small.bin_001.mp3")));
    QVERIFY(!QFileInfo::exists(temp.filePath("big.bin_001.mp3")));
  }

  void tagIniReaderLivesForTheRunOnly() {
    QTemporaryDir temp;
    const QString input = temp.filePath("in.bin"), ini = temp.filePath("tags.ini");
    QVERIFY(WriteFile(input, Filler(1000, 71) + Fixture("mpeg1_id3.mp3") + Filler(1000, 72)));
    QVERIFY(WriteFile(ini, "[Track1]\nTitle=Opening\nGenre=Game\n"));
    WindowUnderTest w;
    w.seam.dialogResults.push_back(std::vector<std::string>{Std(ini)});
    w.find<QToolButton>("SpeedButton2")->click();
    QVERIFY(w.find<QCheckBox>("chkTagIni")->isChecked());
    w.find<QLineEdit>("edtInput")->setText(input);
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/%3.3d.mp3");
    w.find<QPushButton>("btnExecute")->click();

    // The stream's own tags make way for the one from the INI file.
    const QByteArray out = ReadFile(temp.filePath("001.mp3"));
    QVERIFY(out.size() > 128);
    QVERIFY(out.startsWith('\xFF'));
    QCOMPARE(out.right(128).left(10), QByteArray("TAGOpening"));
    QCOMPARE(static_cast<uint8_t>(out.back()), uint8_t{36});
    QCOMPARE(w.seam.beeps, 1);
  }

  // Closing the window during a run cancels it; the window closes once the
  // run has unwound.
  void closingTheWindowDuringARun() {
    QTemporaryDir temp;
    const QString big = temp.filePath("big.bin"), next = temp.filePath("next.bin");
    QVERIFY(WriteFile(big, Filler(200000, 81) + InputWithStreams(1, 82)));
    QVERIFY(WriteFile(next, InputWithStreams(1, 83)));
    WindowUnderTest w;
    w.find<QLineEdit>("edtInput")->setText(big + "," + next);
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/%3.3d.mp3");
    bool closedAtOnce = true;
    FromInsideThePump(w.window.get(), [&] { closedAtOnce = w.window->close(); });
    w.find<QPushButton>("btnExecute")->click();

    QVERIFY(!closedAtOnce);
    QVERIFY(!w.window->isVisible());
    QCOMPARE(w.log(), (QStringList{Quoted(big) + kMp3Opening, "Not Found (T-T)"}));
    QCOMPARE(Running, uint8_t{0});
    QCOMPARE(w.find<QPushButton>("btnExecute")->text(), QStringLiteral("実行！"));
  }
};

QTEST_MAIN(RunCommandsTest)
#include "run_commands_test.moc"
