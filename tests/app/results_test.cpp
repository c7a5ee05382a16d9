// The tab of results: the rows of a run's streams (columns, sort, filter,
// CSV, rows kept across the inputs of a run, failures), the selection shared
// with other views, the commands of a row through the seam, and the decoding
// the Play button plays through, over a fixture of each format, and the
// player's states driven through a sound output that needs no device.
#include <QAudioDevice>
#include <QCheckBox>
#include <QClipboard>
#include <QCryptographicHash>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>
#include <algorithm>
#include <cmath>

#include "app/pcm_decoder.h"
#include "app/player.h"
#include "app/results_model.h"
#include "app/results_view.h"
#include "app/sound_out.h"
#include "app/text_conv.h"
#include "app/wav_exporter.h"
#include "app_test_util.h"
#include "export/pcm_decode.h"

namespace {

StreamReport Report(const std::string& input, int64_t number, int64_t offset) {
  StreamReport report;
  report.input = input;
  report.format = "mp3";
  report.number = number;
  report.offset = offset;
  report.length = 5850;
  report.output = "/out/" + std::to_string(number) + ".mp3";
  report.facts.seconds = 0.37;
  report.facts.sampleRateHz = 44100;
  report.facts.channels = 2;
  return report;
}

QStringList Row(const ResultsModel& model, int row) {
  QStringList fields;
  for (int column = 0; column < model.columnCount(); ++column)
    fields << model.index(row, column).data().toString();
  return fields;
}

// The texts of column `column` in the order the table shows them.
QStringList Shown(ResultsView& view, int column) {
  QStringList texts;
  for (int row : view.shownRows(false)) texts << Row(*view.model(), row)[column];
  return texts;
}

// A sound output the test drives: what the player asked of it, and the
// device's answers (sound heard, end, failure) when the test gives them.
struct FakeOut : SoundOut {
  std::string missing;   // unavailable()
  bool prepares = true;  // prepare() succeeds
  int64_t played = 0;    // playedFrames()
  std::vector<std::string> calls;
  std::shared_ptr<const DecodedPcm> pcm;
  int64_t from = -1;
  double volume = 1;

  std::string unavailable() const override { return missing; }
  bool prepare(int rate, int channels, std::string& why) override {
    calls.push_back("prepare " + std::to_string(rate) + "/" + std::to_string(channels));
    if (!prepares) why = "device busy";
    return prepares;
  }
  void start(std::shared_ptr<const DecodedPcm> p, int64_t fromFrame) override {
    calls.push_back("start " + std::to_string(fromFrame));
    pcm = std::move(p);
    from = fromFrame;
  }
  void stop() override { calls.push_back("stop"); }
  void setVolume(double v) override { volume = v; }
  int64_t playedFrames() const override { return played; }
};

// A player on a FakeOut, with the states it went through and its failures.
struct PlayerUnderTest {
  FakeOut* out = new FakeOut;
  Player player{nullptr, std::unique_ptr<SoundOut>(out)};
  QStringList states;
  QStringList failures;

  PlayerUnderTest() {
    static const char* const kNames[] = {"idle", "loading", "playing", "ended", "failed"};
    QObject::connect(&player, &Player::stateChanged, &player, [this](Player::State state) {
      states << QString::fromLatin1(kNames[static_cast<int>(state)]);
    });
    QObject::connect(&player, &Player::failed, &player,
                     [this](const QString& message) { failures << message; });
    player.setSilenceLimitMs(100);
  }
  // One step: "play FILE KIND", "decoded" (waits for the decoding),
  // "sound" (the device has taken samples), "end", "fail", "stop", "seek S",
  // "wait MS".
  void step(const QString& what) {
    const QStringList words = what.split(QLatin1Char(' '));
    if (words[0] == "play")
      player.play(std::string(ZANDREL_TEST_DATA "/") + words[1].toStdString(),
                  words[2].toStdString());
    else if (words[0] == "decoded")
      QTRY_VERIFY(player.state() != Player::State::Loading);
    else if (words[0] == "sound")
      out->played = 100;
    else if (words[0] == "end")
      out->ended();
    else if (words[0] == "fail")
      out->failed("gone");
    else if (words[0] == "stop")
      player.stop();
    else if (words[0] == "seek")
      player.seek(words[1].toDouble());
    else if (words[0] == "wait")
      QTest::qWait(words[1].toInt());
  }
};

// The texts of the rows under `parent` (the top rows for none), each row's
// fields joined by '|'.
QStringList Tree(const QAbstractItemModel& model, const QModelIndex& parent = {}) {
  QStringList rows;
  for (int row = 0; row < model.rowCount(parent); ++row) {
    QStringList fields;
    for (int column = 0; column < model.columnCount(parent); ++column)
      fields << model.index(row, column, parent).data().toString();
    rows << fields.join(QLatin1Char('|'));
  }
  return rows;
}

// The frames of 16-bit PCM of a WAVE file as its header says, and its
// channels and rate; -1 where it is no such file.
struct WaveFacts {
  int64_t frames = -1;
  int channels = -1, rate = -1;
};
WaveFacts ReadWave(const QString& path) {
  const QByteArray b = ReadFile(path);
  if (b.size() < 44 || !b.startsWith("RIFF") || b.mid(36, 4) != "data") return {};
  auto le = [&b](int at, int bytes) {
    int64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
    return v;
  };
  const int channels = static_cast<int>(le(22, 2));
  if (channels <= 0 || le(40, 4) != b.size() - 44) return {};
  return {le(40, 4) / (channels * 2), channels, static_cast<int>(le(24, 4))};
}

// A run of the window over two banks of tests/data, each 4 KiB into an
// input of its own (fsb5_pcm16_names.fsb, awb_wave_members.awb), with the
// FSB and AWB passes: the bank's rows first, then the WAVE files inside the
// AWB bank that the WAVE pass finds; `hashes`: the digests ticked.
struct BankRun {
  QTemporaryDir temp;
  WindowUnderTest w;
  ResultsModel* model = nullptr;

  explicit BankRun(unsigned hashes = 0) {
    for (int i = 0; i < 3; ++i) {
      const char* names[] = {"chkHashMd5", "chkHashSha1", "chkHashSha256"};
      w.find<QCheckBox>(names[i])->setChecked((hashes & (1U << i)) != 0);
    }
    QStringList inputs;
    for (const char* name : {"fsb5_pcm16_names.fsb", "awb_wave_members.awb"}) {
      inputs << temp.filePath(QString::fromLatin1(name) + ".bin");
      (void)WriteFile(inputs.back(), QByteArray(4096, '\0') + Fixture(name));
    }
    w.find<QLineEdit>("edtInput")->setText(inputs.join(QLatin1Char(',')));
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/out/%f_%3.3d.%e");
    for (const char* format : {"fmt_fsb", "fmt_awb", "fmt_wav", "fmt_mp3"})
      w.find<QAction>(format)->trigger();
    w.find<QPushButton>("btnExecute")->click();
    model = w.window->Results()->model();
    model->flush();
  }
  // The report of the row of `format`'s stream `number` of input `input`.
  StreamReport report(int input, const char* format, int64_t number = 1) const {
    const char* names[] = {"fsb5_pcm16_names.fsb.bin", "awb_wave_members.awb.bin"};
    const std::string path = Std(temp.filePath(names[input]));
    return model->report(model->rowOf(path, format, number));
  }
};

// A view whose player plays into a FakeOut, with the rows of `reports`.
struct ViewUnderTest {
  TestSeam seam;
  FakeOut* out = new FakeOut;
  ResultsView view{&seam, nullptr, std::unique_ptr<SoundOut>(out)};
  QTreeView* tree = view.findChild<QTreeView*>("tblResults");

  explicit ViewUnderTest(const std::vector<StreamReport>& reports) {
    for (const StreamReport& r : reports) view.model()->add(r);
    view.model()->flush();
    view.player()->setSilenceLimitMs(60000);
  }
  // The shown index of row `row`, or of its member `member`.
  QModelIndex at(int row, int member) const {
    const QModelIndex top = tree->model()->index(row, 0);
    return member < 0 ? top : tree->model()->index(member, 0, top);
  }
};

}  // namespace

class ResultsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InitTestApplication(); }

  void columnsOfWrittenFailedAndUnmeasuredStreams() {
    StreamReport failed = Report("in,put.bin", 2, 9000);
    failed.status = StreamReport::Status::Failed;
    failed.error = "出力ファイルが作れません";
    failed.output.clear();
    StreamReport unmeasured = Report("a.bin", 3, 0);
    unmeasured.facts.seconds = -1;
    unmeasured.facts.sampleRateHz = unmeasured.facts.channels = -1;
    unmeasured.status = StreamReport::Status::DryRun;
    StreamReport cut = unmeasured;
    cut.truncated = true;
    StreamReport hashed = Report("a.bin", 5, 0);
    hashed.digests.md5 = "0123abcd";
    hashed.digests.sha256 = "ffee";
    const struct {
      StreamReport report;
      QStringList fields;
    } cases[] = {
        {Report("a.bin", 1, 4096),
         {"a.bin", "1", "mp3", "$00001000", "5850", "0.4", "44100", "2", "/out/1.mp3",
          "書き出し済み", "", "", ""}},
        {failed,
         {"in,put.bin", "2", "mp3", "$00002328", "5850", "0.4", "44100", "2", "",
          "失敗: 出力ファイルが作れません", "", "", ""}},
        {unmeasured,
         {"a.bin", "3", "mp3", "$00000000", "5850", "", "", "", "/out/3.mp3", "書き出しなし", "",
          "", ""}},
        // A stream that claims more than the input held is marked.
        {cut,
         {"a.bin", "3", "mp3", "$00000000", "5850", "", "", "", "/out/3.mp3",
          "書き出しなし（途中まで）", "", "", ""}},
        // Offsets past 32 bits take more digits, as the log's do.
        {Report("big.bin", 4, 0x123456789AB),
         {"big.bin", "4", "mp3", "$123456789AB", "5850", "0.4", "44100", "2", "/out/4.mp3",
          "書き出し済み", "", "", ""}},
        // The digests computed, each in its column.
        {hashed,
         {"a.bin", "5", "mp3", "$00000000", "5850", "0.4", "44100", "2", "/out/5.mp3",
          "書き出し済み", "0123abcd", "", "ffee"}},
    };
    for (const auto& c : cases) {
      ResultsModel model;
      model.add(c.report);
      QCOMPARE(model.rowCount(), 0);  // shown at the next batch
      model.flush();
      QCOMPARE(model.rowCount(), 1);
      QCOMPARE(model.columnCount(), int(ResultsModel::ColumnCount));
      QCOMPARE(Row(model, 0), c.fields);
      // The offset in decimal in its tooltip.
      QCOMPARE(model.index(0, ResultsModel::Offset).data(Qt::ToolTipRole).toString(),
               QString::number(c.report.offset));
    }
    // The batch comes by itself from the event loop.
    ResultsModel model;
    model.add(Report("a.bin", 1, 0));
    QTRY_COMPARE(model.rowCount(), 1);
  }

  // A bank's row unfolds into its members: index and name, codec, offset
  // in the input (the bank's and the member's own together), length,
  // duration, rate, channels; the bank's row counts them and adds their
  // durations up. The filter shows a bank with its members that match.
  void membersUnderTheirBank() {
    BankRun run;
    const struct {
      int input;
      const char* format;
      QString bank;  // from Format to the digests
      QStringList members;
    } cases[] = {
        {0,
         "fsb",
         "fsb|$00001000|19204|0.4|22050|1|out/fsb5_pcm16_names.fsb.bin_001.fsb|"
         "書き出し済み（メンバー3個）|||",
         {"000 tone440|0|pcm16|$00001084|8820|0.2|22050|1|||||",
          "001 tone660|1|pcm16|$00003304|5732|0.1|22050|1|||||",
          "002 tone880|2|pcm16|$00004984|4480|0.1|32000|1|||||"}},
        // WAVE members: durations from their data and block alignment.
        {1,
         "awb",
         "awb|$00001000|31148|0.4|||out/"
         "awb_wave_members.awb.bin_001.awb|書き出し済み（メンバー3個）|||",
         {"000|0|wav|$00001040|8864|0.2|22050|1|||||", "001|1|wav|$000032E0|17684|0.1|44100|2|||||",
          "002|2|wav|$00007800|4524|0.1|32000|1|||||"}},
    };
    for (const auto& c : cases) {
      const StreamReport bank = run.report(c.input, c.format);
      const int row = run.model->rowOf(bank.input, c.format, 1);
      const QModelIndex index = run.model->index(row, 0);
      QStringList fields = Tree(*run.model)[row].split(QLatin1Char('|')).mid(2);
      fields[ResultsModel::Output - 2].remove(run.temp.path() + "/");
      QCOMPARE(fields.join(QLatin1Char('|')), c.bank);
      QCOMPARE(Tree(*run.model, index), c.members);
      // The offset in decimal in its tooltip.
      QCOMPARE(run.model->index(1, ResultsModel::Offset, index).data(Qt::ToolTipRole).toString(),
               QString::number(4096 + bank.members[1].offset));
    }
    // The rows without members have no children.
    const int wav = run.model->rowOf(run.report(1, "wav").input, "wav", 1);
    QCOMPARE(run.model->rowCount(run.model->index(wav, 0)), 0);

    const struct {
      QString filter;
      QStringList shown;  // each shown top row's format and its members' names
    } filters[] = {
        {"tone660", {"fsb: 001 tone660"}},
        {"fsb5", {"fsb: 000 tone440,001 tone660,002 tone880"}},
        {"44100", {"awb: 001", "wav: "}},
    };
    ResultsView* view = run.w.window->Results();
    const QAbstractItemModel* shown = view->findChild<QTreeView*>("tblResults")->model();
    for (const auto& f : filters) {
      view->findChild<QLineEdit*>("edtResultFilter")->setText(f.filter);
      QStringList rows;
      for (int row = 0; row < shown->rowCount(); ++row) {
        const QModelIndex top = shown->index(row, 0);
        QStringList names;
        for (int m = 0; m < shown->rowCount(top); ++m)
          names << shown->index(m, 0, top).data().toString();
        rows << shown->index(row, ResultsModel::Format).data().toString() + ": " + names.join(',');
      }
      QCOMPARE(rows, f.shown);
    }
  }

  // The digests ticked on the extended tab: every output hashed as it is
  // written, each digest in its column, the others hidden and out of the CSV.
  void digestsOfAWindowRun() {
    const QCryptographicHash::Algorithm kinds[] = {
        QCryptographicHash::Md5, QCryptographicHash::Sha1, QCryptographicHash::Sha256};
    const char* const captions[] = {"MD5", "SHA-1", "SHA-256"};
    for (unsigned hashes : {0U, unsigned(kHashMd5 | kHashSha256), unsigned(kHashSha1)}) {
      BankRun run(hashes);
      const auto* tree = run.w.window->Results()->findChild<QTreeView*>("tblResults");
      const QString head = run.model->csv({}).split(QStringLiteral("\r\n"))[0];
      QVERIFY(run.model->rowCount() >= 4);
      for (int i = 0; i < 3; ++i) {
        const bool on = (hashes & (1U << i)) != 0;
        QCOMPARE(tree->isColumnHidden(ResultsModel::Md5 + i), !on);
        QCOMPARE(head.contains(QString::fromLatin1(captions[i]) + ","), on);
        for (int row = 0; row < run.model->rowCount(); ++row) {
          const QByteArray bytes = ReadFile(ToQ(run.model->report(row).output));
          QVERIFY(!bytes.isEmpty());
          QCOMPARE(run.model->index(row, ResultsModel::Md5 + i).data().toString(),
                   on ? QString::fromLatin1(QCryptographicHash::hash(bytes, kinds[i]).toHex())
                      : QString());
        }
      }
    }
  }

  void csvQuotesWhatNeedsIt() {
    const struct {
      const char* field;
      const char* csv;
    } cases[] = {
        {"plain.bin", "plain.bin"},           {"a,b.bin", "\"a,b.bin\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""}, {"two\nlines", "\"two\nlines\""},
        {"cr\rhere", "\"cr\rhere\""},         {"", ""},
        {"日本語.mp3", "日本語.mp3"},
    };
    for (const auto& c : cases)
      QCOMPARE(CsvField(QString::fromUtf8(c.field)), QString::fromUtf8(c.csv));

    // Lines of streams and of members under their bank, with the columns of
    // the digests the run computes and none of the others.
    ResultsModel model;
    StreamReport quoted = Report("x,\"y\".bin", 7, 10);
    quoted.digests.md5 = "00ff";
    quoted.digests.sha1 = "11ee";
    StreamReport bank = Report("b.bin", 8, 0x100);
    bank.format = "fsb";
    bank.output = "/out/8.fsb";
    bank.members.resize(2);
    Member& named = bank.members[0];
    std::tie(named.index, named.name, named.offset, named.length, named.codec) =
        std::tuple(1, "a,b", 0x20, 64, "pcm16");
    std::tie(named.rate, named.channels, named.samples) = std::tuple(22050, 1, 11025);
    Member& secret = bank.members[1];
    std::tie(secret.index, secret.offset, secret.length, secret.codec) =
        std::tuple(2, 0x80, 10, "hca");
    secret.encrypted = true;
    model.add(quoted);
    model.add(bank);
    model.flush();
    const QString head =
        "入力ファイル,番号,形式,位置,長さ,時間,周波数,チャンネル,出力ファイル,状態";
    const QString tail = ",種類,名前,バンク";
    const QString row0 =
        "\"x,\"\"y\"\".bin\",7,mp3,$0000000A,5850,0.4,44100,2,/out/7.mp3,書き出し済み";
    const struct {
      unsigned hashes;
      std::vector<std::pair<int, int>> items;
      QStringList lines;
    } lists[] = {
        {0, {{0, -1}}, {head + tail, row0 + ",stream,,"}},
        {kHashMd5 | kHashSha1,
         {{0, -1}},
         {head + ",MD5,SHA-1" + tail, row0 + ",00ff,11ee,stream,,"}},
        {kHashSha256,
         {{1, -1}, {1, 0}, {1, 1}},
         {head + ",SHA-256" + tail,
          "b.bin,8,fsb,$00000100,5850,0.5,44100,2,/out/"
          "8.fsb,書き出し済み（メンバー2個）,,stream,,",
          "b.bin,1,pcm16,$00000120,64,0.5,22050,1,,,,member,\"a,b\",/out/8.fsb",
          "b.bin,2,hca,$00000180,10,,,,,暗号化,,member,,/out/8.fsb"}},
    };
    for (const auto& l : lists) {
      model.setHashes(l.hashes);
      QCOMPARE(model.csv(l.items), l.lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    }
  }

  // What Copy as CSV takes: the chosen streams and members in the order
  // shown, a bank chosen alone with its members, every row shown when none
  // is chosen.
  void csvTakesMembersUnderTheirBank() {
    StreamReport bank = Report("b.bin", 1, 0);
    bank.format = "fsb";
    bank.members.resize(2);
    for (int64_t i : {0, 1}) {
      bank.members[i].index = i;
      bank.members[i].name = i == 0 ? "one" : "two";
      bank.members[i].codec = "pcm16";
    }
    ViewUnderTest v({bank, Report("c.bin", 2, 100)});
    using Items = std::vector<std::pair<int, int>>;
    const struct {
      const char* filter;
      Items chosen;  // the model's rows and members selected
      Items copied;
    } cases[] = {
        {"", {}, {{0, -1}, {0, 0}, {0, 1}, {1, -1}}},
        {"", {{0, -1}}, {{0, -1}, {0, 0}, {0, 1}}},
        {"", {{0, -1}, {0, 1}}, {{0, -1}, {0, 1}}},
        {"", {{0, 0}, {1, -1}}, {{0, 0}, {1, -1}}},
        {"two", {}, {{0, -1}, {0, 1}}},
    };
    for (const auto& c : cases) {
      v.view.findChild<QLineEdit*>("edtResultFilter")->setText(c.filter);
      v.tree->clearSelection();
      for (const auto& [row, member] : c.chosen) {
        v.tree->expand(v.at(row, -1));
        v.tree->selectionModel()->select(v.at(row, member),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
      }
      QCOMPARE(v.view.csvItems(), c.copied);
      v.view.findChild<QToolButton*>("btnCopyCsv")->click();
      QCOMPARE(v.seam.copied.back(), Std(v.view.model()->csv(c.copied)));
    }
  }

  // A row takes its output's name and a few numbers, whatever the length of
  // its input's name, which all the streams of an input share; the fields
  // come back as they went in.
  void rowsHoldLittle() {
    const struct {
      size_t inputLength;
      int inputs, streams;
    } cases[] = {{40, 10, 1000}, {4000, 2, 5000}, {10, 10000, 1}};
    for (const auto& c : cases) {
      ResultsModel model;
      size_t outputBytes = 0;
      for (int i = 0; i < c.inputs; ++i) {
        const std::string input = std::to_string(i) + std::string(c.inputLength, 'i');
        for (int n = 1; n <= c.streams; ++n) {
          StreamReport report = Report(input, n, n * 100);
          report.output = input.substr(0, 20) + report.output;
          outputBytes += report.output.size();
          model.add(report);
        }
      }
      model.flush();
      const size_t rows = static_cast<size_t>(c.inputs) * c.streams;
      QCOMPARE(size_t(model.rowCount()), rows);
      const size_t names = c.inputs * (c.inputLength + 64);
      QVERIFY2(model.bytesHeld() <= 2 * (outputBytes + rows * 96) + names,
               qPrintable(QString::number(model.bytesHeld())));
      const StreamReport last = model.report(model.rowCount() - 1);
      QCOMPARE(last.input, std::to_string(c.inputs - 1) + std::string(c.inputLength, 'i'));
      QCOMPARE(last.number, int64_t(c.streams));
      QCOMPARE(model.rowOf(last.input, "mp3", c.streams), model.rowCount() - 1);
      QCOMPARE(Row(model, model.rowCount() - 1)[ResultsModel::Output], ToQ(last.output));
    }
  }

  void sortsNumbersAsNumbersAndFiltersEveryColumn() {
    TestSeam seam;
    ResultsView view(&seam);
    StreamReport ogg = Report("b.bin", 3, 100);
    ogg.format = "ogg";
    for (const StreamReport& r : {Report("a.bin", 1, 9), Report("a.bin", 2, 10), ogg})
      view.model()->add(r);
    view.model()->flush();
    auto* table = view.findChild<QTreeView*>("tblResults");
    auto* filter = view.findChild<QLineEdit*>("edtResultFilter");
    QCOMPARE(Shown(view, ResultsModel::Number), (QStringList{"1", "2", "3"}));

    const struct {
      int column;
      Qt::SortOrder order;
      QString filter;
      QStringList numbers;
      QString count = {};  // how many the label says are shown
    } cases[] = {
        {ResultsModel::Offset, Qt::DescendingOrder, "", {"3", "2", "1"}},
        {ResultsModel::Offset, Qt::AscendingOrder, "", {"1", "2", "3"}},
        {ResultsModel::Input, Qt::DescendingOrder, "", {"3", "1", "2"}},
        {ResultsModel::Offset, Qt::AscendingOrder, "OGG", {"3"}, "1 / 3件を表示"},
        {ResultsModel::Offset, Qt::DescendingOrder, "a.bin", {"2", "1"}, "2 / 3件を表示"},
        {ResultsModel::Offset, Qt::AscendingOrder, "/OUT/2", {"2"}, "1 / 3件を表示"},
        {ResultsModel::Offset, Qt::AscendingOrder, "44100", {"1", "2", "3"}, "3 / 3件を表示"},
        {ResultsModel::Offset, Qt::AscendingOrder, "nothing", {}, "0 / 3件を表示"},
    };
    for (const auto& c : cases) {
      filter->setText(c.filter);
      table->sortByColumn(c.column, c.order);
      QCOMPARE(Shown(view, ResultsModel::Number), c.numbers);
      QCOMPARE(view.findChild<QLabel*>("lblResultsShown")->text(), c.count);
    }
    // A new run's rows come with no filter left over.
    view.model()->clear();
    QVERIFY(filter->text().isEmpty());
    view.model()->add(Report("c.bin", 1, 0));
    view.model()->flush();
    QCOMPARE(Shown(view, ResultsModel::Number), QStringList{"1"});
  }

  void rowsStayAcrossTheInputsOfARunAndGoWithTheNext() {
    QTemporaryDir temp;
    const QString a = temp.filePath("a.bin"), b = temp.filePath("b.bin");
    QVERIFY(WriteFile(a, InputWithStreams(1, 11)));
    QVERIFY(WriteFile(b, InputWithStreams(2, 22)));
    WindowUnderTest w;
    ResultsModel* model = w.window->Results()->model();
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/out/%f_%3.3d.mp3");

    const struct {
      QString inputs;
      QStringList rows;  // input file name and number of each row
    } runs[] = {
        {a + "," + b, {"a.bin 1", "b.bin 1", "b.bin 2"}},
        {b, {"b.bin 1", "b.bin 2"}},
    };
    for (const auto& run : runs) {
      w.find<QLineEdit>("edtInput")->setText(run.inputs);
      w.find<QPushButton>("btnExecute")->click();
      QStringList rows;
      for (int row = 0; row < model->rowCount(); ++row) {
        const StreamReport& r = model->report(row);
        rows << QFileInfo(ToQ(r.input)).fileName() + " " + QString::number(r.number);
        QCOMPARE(r.status, StreamReport::Status::Written);
        QVERIFY(QFileInfo::exists(ToQ(r.output)));
      }
      QCOMPARE(rows, run.rows);
    }
  }

  void failuresCarryTheirReason() {
    QTemporaryDir temp;
    const QString input = temp.filePath("in.bin");
    QVERIFY(WriteFile(input, InputWithStreams(2, 5)));
    // The first output's name is taken by a folder: that stream fails.
    QVERIFY(QDir(temp.path()).mkpath("out/001.mp3"));
    WindowUnderTest w;
    w.seam.defaultAnswer = BoxAnswer::Ignore;
    w.find<QLineEdit>("edtOutput")->setText(temp.path() + "/out/%3.3d.mp3");
    const struct {
      QString inputs;
      QStringList statuses;
    } cases[] = {
        {input, {"失敗: ", "書き出し済み"}},
        // A failure of the input is a row of its own.
        {temp.filePath("missing.bin"), {"失敗: "}},
    };
    ResultsModel* model = w.window->Results()->model();
    for (const auto& c : cases) {
      w.find<QLineEdit>("edtInput")->setText(c.inputs);
      w.find<QPushButton>("btnExecute")->click();
      QCOMPARE(model->rowCount(), c.statuses.size());
      for (int row = 0; row < model->rowCount(); ++row) {
        const QString status = Row(*model, row)[ResultsModel::Status];
        QVERIFY2(status.startsWith(c.statuses[row]), qPrintable(status));
        if (model->report(row).status == StreamReport::Status::Failed) {
          QVERIFY(!model->report(row).error.empty());
          QVERIFY(status.endsWith(ToQ(model->report(row).error)));
        }
      }
    }
  }

  void selectionGoesBothWays() {
    TestSeam seam;
    ResultsView view(&seam);
    for (int i = 1; i <= 3; ++i) view.model()->add(Report("a.bin", i, i * 100));
    view.model()->add(Report("b.bin", 1, 50));  // shows at the slot's call
    auto* table = view.findChild<QTreeView*>("tblResults");
    QSignalSpy spy(&view, &ResultsView::streamSelected);
    view.findChild<QLineEdit*>("edtResultFilter")->setText("a.bin");

    // The slot finds a row hidden by the filter by clearing it, and tells
    // no one.
    view.selectStream("b.bin", "mp3", 1);
    QCOMPARE(view.findChild<QLineEdit*>("edtResultFilter")->text(), QString());
    QCOMPARE(view.shownRows(true), (std::vector<int>{3}));
    view.selectStream("c.bin", "mp3", 1);  // no such stream: nothing changes
    view.selectStream("b.bin", "ogg", 1);  // nor in another format
    QCOMPARE(view.shownRows(true), (std::vector<int>{3}));
    QCOMPARE(spy.count(), 0);

    // The user's choice is told.
    table->setCurrentIndex(table->model()->index(1, 0));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy[0][0].value<std::string>(), std::string("a.bin"));
    QCOMPARE(spy[0][1].value<std::string>(), std::string("mp3"));
    QCOMPARE(spy[0][2].value<int64_t>(), int64_t{2});
  }

  void commandsOfARowGoThroughTheSeam() {
    TestSeam seam;
    ResultsView view(&seam);
    StreamReport failed = Report("a.bin", 2, 0);
    failed.status = StreamReport::Status::Failed;
    view.model()->add(Report("a,b.bin", 1, 0));
    view.model()->add(failed);
    view.model()->flush();
    auto* table = view.findChild<QTreeView*>("tblResults");
    auto click = [&](const char* name) { view.findChild<QToolButton*>(name)->click(); };

    const struct {
      int row;  // -1: none current
      bool fileBrowser;
      const char* button;
      std::vector<std::string> events;
    } cases[] = {
        {-1, true, "btnShowInFolder", {"box:ストリームが選ばれていません。"}},
        {0, true, "btnShowInFolder", {"show:/out/1.mp3"}},
        {0,
         false,
         "btnShowInFolder",
         {"show:/out/1.mp3",
          "box:フォルダを開けるファイルマネージャがありません。\n"
          "パスをクリップボードにコピーしました:\n/out/1.mp3"}},
        {1, true, "btnShowInFolder", {"box:このストリームには出力ファイルがありません。"}},
        {1, true, "btnPlay", {"box:このストリームには出力ファイルがありません。"}},
    };
    for (const auto& c : cases) {
      seam.events.clear();
      seam.fileBrowser = c.fileBrowser;
      table->setCurrentIndex(c.row < 0 ? QModelIndex() : table->model()->index(c.row, 0));
      click(c.button);
      QCOMPARE(seam.events, c.events);
      // The path is copied where no file manager shows it.
      QCOMPARE(seam.copied,
               c.fileBrowser ? std::vector<std::string>{} : std::vector<std::string>{"/out/1.mp3"});
      seam.copied.clear();
    }

    // Copied rows: the selected ones, or all shown when none is.
    table->clearSelection();
    click("btnCopyCsv");
    QCOMPARE(seam.copied.back(), Std(view.model()->csv({{0, -1}, {1, -1}})));
    table->selectionModel()->select(
        table->model()->index(1, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    click("btnCopyCsv");
    QCOMPARE(seam.copied.back(), Std(view.model()->csv({{1, -1}})));
  }

  // The table in a window of its own keeps its rows and goes back into its
  // tab when that window or the main window closes.
  void tableInAWindowOfItsOwn() {
    for (bool closeMain : {false, true}) {
      WindowUnderTest w;
      ResultsView* view = w.window->Results();
      QWidget* tab = w.find<QWidget>("TabSheetResults");
      view->model()->add(Report("a.bin", 1, 0));
      view->model()->flush();
      view->findChild<QToolButton*>("btnDetachResults")->click();
      QVERIFY(view->isWindow());
      QVERIFY(view->isVisible());
      QVERIFY(view->width() >= 800);
      if (closeMain)
        w.window->close();
      else
        view->close();
      QVERIFY(!view->isWindow());
      QCOMPARE(view->parentWidget(), tab);
      QCOMPARE(view->model()->rowCount(), 1);
    }
  }

  // The Play button and a double-click play a row's output; without an
  // audio output device a box says so, and nothing plays.
  void playingAWrittenRow() {
    const bool device = !QMediaDevices::audioOutputs().isEmpty();
    for (const char* file : {"mpeg1_cbr128.mp3", "adx_mono_44k.adx"}) {
      TestSeam seam;
      ResultsView view(&seam);
      StreamReport written = Report("a.bin", 1, 0);
      written.output = std::string(ZANDREL_TEST_DATA "/") + file;
      view.model()->add(written);
      view.model()->flush();
      auto* table = view.findChild<QTreeView*>("tblResults");
      auto* stop = view.findChild<QToolButton*>("btnStop");
      table->setCurrentIndex(table->model()->index(0, 0));
      view.findChild<QToolButton*>("btnPlay")->click();
      if (!device) {
        QCOMPARE(seam.events, (std::vector<std::string>{"box:音声を出力する装置がありません。"}));
        QVERIFY(!view.player()->playing());
        QVERIFY(!stop->isEnabled());
        continue;
      }
      QTRY_VERIFY(view.player()->playing());
      QVERIFY(stop->isEnabled());
      stop->click();
      QVERIFY(!view.player()->playing());
      QVERIFY(seam.events.empty());
    }
  }

  // What the Play button plays when the system's media player cannot open a
  // file: about a second of each format, decoded at its own rate and
  // channels, with sound in it, by the demuxer of its row's format alone.
  void decodesASecondOfEachFormat() {
    const struct {
      const char* file;
      const char* kind;
      int rate, channels;
      bool audible = true;  // the HCA fixtures' frames code no spectrum: silence
    } cases[] = {
        {"mpeg1_cbr128.mp3", "mp3", 44100, 2},
        {"vorbis_stereo.ogg", "ogg", 44100, 2},
        {"wave_s16_stereo.wav", "wav", 22050, 2},
        {"mp2_l2_48k_stereo.mp2", "mp2", 48000, 2},
        {"aac_lc_44k_stereo.aac", "aac", 44100, 2},
        {"flac_16_stereo_44k.flac", "flac", 44100, 2},
        {"aiff_sox_16_stereo_22k.aiff", "aiff", 22050, 2},
        {"adx_mono_44k.adx", "adx", 44100, 1},
        {"brstm_dsp_stereo_32k.brstm", "brstm", 32000, 2},
        {"brstm_pcm16_stereo_32k.brstm", "brstm", 32000, 2},
        {"bcstm_pcm16_stereo_32k.bcstm", "bcstm", 32000, 2},
        {"bfstm_pcm16_stereo_48k_be.bfstm", "bfstm", 48000, 2},
        {"bfstm_pcm16_mono_32k_le.bfstm", "bfstm", 32000, 1},
        {"fsb4_gcadpcm_stereo.fsb", "fsb", 44100, 2},
        {"hca_v3_stereo_44k_loop_comm.hca", "hca", 44100, 2, false},
        {"vorbis_mono.ogg", "ogg", 22050, 1},
        {"opus_chained.opus", "ogg", 48000, 1},
        {"wave_msadpcm_mono.wav", "wav", 8000, 1},
    };
    for (const auto& c : cases) {
      const std::string path = std::string(ZANDREL_TEST_DATA "/") + c.file;
      const DecodedPcm pcm = DecodePcm(path, c.kind, 1.0);
      QVERIFY2(pcm.error.empty(), c.file);
      QCOMPARE(pcm.sampleRate, c.rate);
      QCOMPARE(pcm.channels, c.channels);
      const size_t frames = pcm.samples.size() / static_cast<size_t>(pcm.channels);
      // A second, or the whole of a shorter fixture (the shortest last a
      // tenth of one); never more.
      QVERIFY2(frames >= static_cast<size_t>(pcm.sampleRate) / 10, c.file);
      QVERIFY(frames <= static_cast<size_t>(pcm.sampleRate));
      double energy = 0;
      for (int16_t s : pcm.samples) energy += double(s) * s;
      QVERIFY2(!c.audible || std::sqrt(energy / pcm.samples.size()) > 100, c.file);
      // Read as another format, it is not decoded.
      QVERIFY2(!DecodePcm(path, c.kind == std::string("adx") ? "flac" : "adx", 1.0).error.empty(),
               c.file);
    }
    QVERIFY(!DecodePcm(ZANDREL_TEST_DATA "/picture_noise.jpg", "mp3", 1.0).error.empty());
    QVERIFY(!DecodePcm(ZANDREL_TEST_DATA "/no such file", "mp3", 1.0).error.empty());
    QVERIFY(!DecodePcm(ZANDREL_TEST_DATA "/mpeg1_cbr128.mp3", "mid", 1.0).error.empty());
  }

  // The player's states, driven through a sound output without a device:
  // the states gone through, the failures told (each once), and what the
  // device was asked.
  void playerStates() {
    const struct {
      const char* what;
      QStringList steps;
      QStringList states;
      int failures;
      std::vector<std::string> calls;
    } cases[] = {
        {"plays to its end",
         {"play flac_16_stereo_44k.flac flac", "decoded", "sound", "end"},
         {"loading", "playing", "ended"},
         0,
         {"stop", "prepare 44100/2", "start 0", "stop"}},
        {"a replay plays the sound held, without decoding it again",
         {"play flac_16_stereo_44k.flac flac", "decoded", "sound", "end",
          "play flac_16_stereo_44k.flac flac"},
         {"loading", "playing", "ended", "idle", "playing"},
         0,
         {"stop", "prepare 44100/2", "start 0", "stop", "stop", "prepare 44100/2", "start 0"}},
        {"stopped while loading, the decoding is forgotten",
         {"play flac_16_stereo_44k.flac flac", "stop", "wait 300"},
         {"loading", "idle"},
         0,
         {"stop", "stop"}},
        {"stopped while playing",
         {"play flac_16_stereo_44k.flac flac", "decoded", "sound", "stop"},
         {"loading", "playing", "idle"},
         0,
         {"stop", "prepare 44100/2", "start 0", "stop"}},
        {"a device that fails three times is one failure",
         {"play flac_16_stereo_44k.flac flac", "decoded", "fail", "fail", "end", "fail"},
         {"loading", "playing", "failed"},
         1,
         {"stop", "prepare 44100/2", "start 0", "stop"}},
        {"a file that does not decode is one failure",
         {"play picture_noise.jpg mp3", "decoded", "wait 200"},
         {"loading", "failed"},
         1,
         {"stop", "stop"}},
        {"no sound within the limit is a failure, once",
         {"play flac_16_stereo_44k.flac flac", "decoded", "wait 300", "fail", "end"},
         {"loading", "playing", "failed"},
         1,
         {"stop", "prepare 44100/2", "start 0", "stop"}},
        {"sound within the limit plays on",
         {"play flac_16_stereo_44k.flac flac", "decoded", "sound", "wait 300"},
         {"loading", "playing"},
         0,
         {"stop", "prepare 44100/2", "start 0"}},
        {"a seek plays on from there",
         {"play flac_16_stereo_44k.flac flac", "decoded", "sound", "seek 0.1"},
         {"loading", "playing"},
         0,
         {"stop", "prepare 44100/2", "start 0", "stop", "prepare 44100/2", "start 4410"}},
        {"a failure, then a new play of the same file",
         {"play flac_16_stereo_44k.flac flac", "decoded", "fail",
          "play flac_16_stereo_44k.flac flac", "sound", "end"},
         {"loading", "playing", "failed", "idle", "playing", "ended"},
         1,
         {"stop", "prepare 44100/2", "start 0", "stop", "stop", "prepare 44100/2", "start 0",
          "stop"}},
    };
    for (const auto& c : cases) {
      PlayerUnderTest p;
      for (const QString& step : c.steps) p.step(step);
      QCOMPARE(p.states, c.states);
      QVERIFY2(p.failures.size() == c.failures, c.what);
      QVERIFY2(p.out->calls == c.calls, c.what);
    }
  }

  // Without a device, or with one that cannot take the sound, a box says
  // so, once; nothing is decoded for a device that is not there.
  void playerWithoutADevice() {
    for (bool present : {false, true}) {
      PlayerUnderTest p;
      p.out->missing = present ? "" : "no device";
      p.out->prepares = false;
      p.step("play flac_16_stereo_44k.flac flac");
      p.step("decoded");
      QCOMPARE(p.failures.size(), 1);
      QCOMPARE(p.player.state(), Player::State::Failed);
      QCOMPARE(p.failures[0].contains("no device"), !present);
      QCOMPARE(p.failures[0].contains("device busy"), present);
    }
  }

  // A sound of a tenth of a second reaches the device whole, from its first
  // sample, and the position and duration follow it.
  void aTenthOfASecondPlaysWhole() {
    const DecodedPcm pcm = DecodePcm(ZANDREL_TEST_DATA "/wave_u8_mono.wav", "wav", 600);
    QCOMPARE(pcm.samples.size(), size_t{800});
    PlayerUnderTest p;
    p.step("play wave_u8_mono.wav wav");
    p.step("decoded");
    QVERIFY(p.out->pcm);
    QCOMPARE(p.out->from, int64_t{0});
    QCOMPARE(p.out->pcm->samples, pcm.samples);
    QCOMPARE(p.player.duration(), 0.1);
    p.out->played = 400;
    QCOMPARE(p.player.position(), 0.05);
    p.step("end");
    QCOMPARE(p.player.position(), 0.1);
    QCOMPARE(PlayTimeText(p.player.position()), QStringLiteral("0:00.1"));
    QCOMPARE(PlayTimeText(754.36), QStringLiteral("12:34.4"));
  }

  // The tab's player: each failure is one box through the seam; the seek
  // bar and the time follow the sound, the volume reaches the device.
  void tabsPlayerControls() {
    for (const char* file : {"picture_noise.jpg", "flac_16_stereo_44k.flac"}) {
      TestSeam seam;
      auto* out = new FakeOut;
      ResultsView view(&seam, nullptr, std::unique_ptr<SoundOut>(out));
      view.player()->setSilenceLimitMs(100);
      StreamReport written = Report("a.bin", 1, 0);
      written.format = "flac";
      written.output = std::string(ZANDREL_TEST_DATA "/") + file;
      view.model()->add(written);
      view.model()->flush();
      auto* table = view.findChild<QTreeView*>("tblResults");
      table->setCurrentIndex(table->model()->index(0, 0));
      view.findChild<QToolButton*>("btnPlay")->click();
      QTRY_VERIFY(view.player()->state() != Player::State::Loading);
      QTest::qWait(300);  // past the silence limit: the device took nothing
      QCOMPARE(seam.boxes.size(), size_t{1});
      if (std::string(file) == "picture_noise.jpg") continue;
      QVERIFY(seam.boxes[0].text.find("flac_16_stereo_44k.flac") != std::string::npos);
      out->played = 8820;
      view.findChild<QToolButton*>("btnPlay")->click();
      QTRY_COMPARE(view.findChild<QLabel*>("lblPlayTime")->text(),
                   QStringLiteral("0:00.2 / 0:00.3"));
      QCOMPARE(view.findChild<QSlider*>("sldSeek")->maximum(), 300);
      view.findChild<QSlider*>("sldVolume")->setValue(25);
      QCOMPARE(out->volume, 0.25);
      QCOMPARE(seam.boxes.size(), size_t{1});
    }
  }

  // Play on a member: its bytes go to a temporary file and are decoded as
  // any output is, whole, into the sound output; a bank's row plays its
  // first member. A member or stream no player opens is one box saying
  // why, as --decode says it.
  void playingAMember() {
    BankRun run;
    const StreamReport fsb = run.report(0, "fsb");
    const StreamReport awb = run.report(1, "awb");
    StreamReport odd = fsb;
    odd.members[0].codec = "dsp";
    odd.members[1].encrypted = true;
    StreamReport midi = Report("a.bin", 7, 0);
    midi.format = "mid";
    midi.output = ZANDREL_TEST_DATA "/midi_abc2midi_reel_format0.mid";
    StreamReport bare = fsb;  // a bank whose members were not listed
    bare.members.clear();
    const struct {
      StreamReport bank;
      int member;  // -1: the bank's row
      int64_t frames;
      int rate, channels;
      const char* box;  // what the one box says, when one comes
    } cases[] = {
        {fsb, 1, 2866, 22050, 1, nullptr},
        {fsb, -1, 4410, 22050, 1, nullptr},
        {fsb, 2, 2240, 32000, 1, nullptr},
        {awb, 1, 4410, 44100, 2, nullptr},
        // The reasons --decode gives.
        {odd, 0, 0, 0, 0, "\nDSP ADPCMの係数がバンクのヘッダーにあり、単独では開けません"},
        {odd, 1, 0, 0, 0, "\n暗号化されています"},
        {midi, -1, 0, 0, 0, "\nMIDIは音符のデータで、デコードする音声がありません"},
        {bare, -1, 0, 0, 0, "\nバンクはメンバーごとにデコードします（--members）"},
    };
    for (const auto& c : cases) {
      ViewUnderTest v({c.bank});
      v.tree->setCurrentIndex(v.at(0, c.member));
      v.view.findChild<QToolButton*>("btnPlay")->click();
      QTRY_VERIFY(v.view.player()->state() != Player::State::Loading);
      if (c.box != nullptr) {
        QCOMPARE(v.seam.boxes.size(), size_t{1});
        QVERIFY2(v.seam.boxes[0].text.ends_with(c.box), v.seam.boxes[0].text.c_str());
        QVERIFY(!v.out->pcm);
        continue;
      }
      QVERIFY2(v.seam.boxes.empty(), v.seam.boxes.empty() ? "" : v.seam.boxes[0].text.c_str());
      QCOMPARE(v.view.player()->state(), Player::State::Playing);
      QVERIFY(v.out->pcm);
      QCOMPARE(int64_t(v.out->pcm->samples.size()) / v.out->pcm->channels, c.frames);
      QCOMPARE(v.out->pcm->sampleRate, c.rate);
      QCOMPARE(v.out->pcm->channels, c.channels);
      QCOMPARE(v.out->from, int64_t{0});
    }
  }

  // Export as WAV: each selected stream and member decoded into the chosen
  // folder, under its own name, none replacing a file; the failures listed
  // in one box at the end.
  void exportingAsWav() {
    BankRun run;
    StreamReport midi = Report("a.bin", 7, 0);
    midi.format = "mid";
    midi.output = ZANDREL_TEST_DATA "/midi_abc2midi_reel_format0.mid";
    const std::vector<StreamReport> reports = {run.report(0, "fsb"), run.report(1, "awb"),
                                               run.report(1, "wav", 2), midi};
    const struct {
      int row, member;
      const char* wav;
      int64_t frames;  // -1: a failure
      int rate, channels;
    } rows[] = {
        {0, 0, "fsb5_pcm16_names.fsb.bin_001_000_tone440.wav", 4410, 22050, 1},
        {0, 2, "fsb5_pcm16_names.fsb.bin_001_002_tone880.wav", 2240, 32000, 1},
        // A WAVE of that name is there already.
        {1, 0, "awb_wave_members.awb.bin_001_000.wav", -1, 0, 0},
        {1, 1, "awb_wave_members.awb.bin_001_001.wav", 4410, 44100, 2},
        {2, -1, "awb_wave_members.awb.bin_002.wav.wav", 4410, 44100, 2},
        {3, -1, "midi_abc2midi_reel_format0.mid.wav", -1, 0, 0},  // no decoder for MIDI
    };
    QTemporaryDir folder;
    const QByteArray kept = "not to be replaced";
    QVERIFY(WriteFile(folder.filePath("awb_wave_members.awb.bin_001_000.wav"), kept));
    ViewUnderTest v(reports);
    for (const auto& r : rows) {
      v.tree->expand(v.at(r.row, -1));
      v.tree->selectionModel()->select(v.at(r.row, r.member),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Cancelled in the folder dialog: nothing happens.
    v.view.findChild<QToolButton*>("btnExportWav")->click();
    QCOMPARE(v.seam.folderStarts.size(), size_t{1});
    QVERIFY(!v.view.exporter()->running());
    v.seam.folderResults.push_back(Std(folder.path()));
    v.view.findChild<QToolButton*>("btnExportWav")->click();
    QTRY_VERIFY(!v.view.exporter()->running());
    QStringList failed;
    for (const auto& r : rows) {
      const WaveFacts wave = ReadWave(folder.filePath(r.wav));
      if (r.frames < 0) {
        failed << r.wav;
        continue;
      }
      QCOMPARE(wave.frames, r.frames);
      QCOMPARE(wave.rate, r.rate);
      QCOMPARE(wave.channels, r.channels);
    }
    QCOMPARE(ReadFile(folder.filePath("awb_wave_members.awb.bin_001_000.wav")), kept);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 5);
    QCOMPARE(v.seam.boxes.size(), size_t{1});
    const QStringList lines = ToQ(v.seam.boxes[0].text).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 1 + failed.size());
    for (int i = 0; i < failed.size(); ++i)
      QVERIFY2(lines[1 + i].startsWith(failed[i] + ": "), qPrintable(lines[1 + i]));
    // The names a selection's WAVE files take.
    QCOMPARE(WavNameOf({reports[0], 1}),
             std::string("fsb5_pcm16_names.fsb.bin_001_001_tone660.wav"));
  }

  // An output that holds a playlist or a script naming another file (beside
  // it, or anywhere by a URL) is read as its format: nothing else is opened.
  void decodingFollowsNoNameInAnOutput() {
    QTemporaryDir temp;
    QVERIFY(QFile::copy(ZANDREL_TEST_DATA "/mpeg1_cbr128.mp3", temp.filePath("other.mp3")));
    const QString other = temp.filePath("other.mp3");
    const struct {
      const char* what;
      QByteArray bytes;
    } cases[] = {
        {"HLS playlist",
         "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nother.mp3\n#EXT-X-ENDLIST\n"},
        {"HLS playlist, absolute", "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nfile:" +
                                       QFile::encodeName(other) + "\n#EXT-X-ENDLIST\n"},
        {"concat script", "ffconcat version 1.0\nfile other.mp3\n"},
    };
    for (const auto& c : cases) {
      const QString crafted = temp.filePath("crafted.mp3");
      QVERIFY(WriteFile(crafted, c.bytes));
      const DecodedPcm pcm = DecodePcm(QFile::encodeName(crafted).toStdString(), "mp3", 1.0);
      QVERIFY2(!pcm.error.empty() && pcm.samples.empty(), c.what);
    }
  }

  // Decoding runs on another thread: the PCM comes at a later turn of the
  // event loop, never inside start(); a new start forgets the one before.
  void decodesOffTheWindowsThread() {
    PcmDecoder decoder;
    std::vector<size_t> got;
    QObject::connect(&decoder, &PcmDecoder::decoded, &decoder,
                     [&](std::shared_ptr<const DecodedPcm> pcm) {
                       QVERIFY(pcm->error.empty());
                       got.push_back(pcm->samples.size());
                     });
    decoder.start(ZANDREL_TEST_DATA "/adx_mono_44k.adx", "adx", 1.0);
    decoder.start(ZANDREL_TEST_DATA "/mpeg1_cbr128.mp3", "mp3", 1.0);
    QVERIFY(got.empty());
    QTRY_COMPARE(got.size(), size_t{1});
    QCOMPARE(got[0], DecodePcm(ZANDREL_TEST_DATA "/mpeg1_cbr128.mp3", "mp3", 1.0).samples.size());
    const size_t mp3 = got[0];
    decoder.start(ZANDREL_TEST_DATA "/adx_mono_44k.adx", "adx", 1.0);
    decoder.cancel();
    decoder.start(ZANDREL_TEST_DATA "/mpeg1_cbr128.mp3", "mp3", 1.0);
    QTRY_COMPARE(got.size(), size_t{2});
    QCOMPARE(got[1], mp3);
  }
};

QTEST_MAIN(ResultsTest)
#include "results_test.moc"
