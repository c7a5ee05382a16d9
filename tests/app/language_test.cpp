// The window in another language: under English no Japanese is left in any
// control, tab, hint, menu, box, log line or the readme tab, Qt's own buttons
// included; under Japanese no English translation shows. And the choice of
// the language from --lang, LANGUAGE and the locale.
#include "i18n/language.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <map>

#include "app/command_line.h"
#include "app/results_model.h"
#include "app/results_view.h"
#include "app_test_util.h"
#include "output/crc.h"
#include "platform/input_file.h"

namespace {

bool HasJapanese(const QString& text) {
  // Kana, CJK punctuation, kanji, full- and half-width forms.
  static const QRegularExpression re(QStringLiteral(
      "[\\x{3000}-\\x{30FF}\\x{31F0}-\\x{31FF}\\x{4E00}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
  return re.match(text).hasMatch();
}

// Every text the window shows of itself.
QStringList WindowTexts(QWidget* window) {
  QStringList texts{window->windowTitle()};
  for (QWidget* w : window->findChildren<QWidget*>()) {
    texts << w->toolTip() << w->whatsThis() << w->statusTip();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) texts << b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) texts << l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) texts << e->placeholderText();
    if (auto* s = qobject_cast<QSpinBox*>(w)) texts << s->prefix() << s->suffix();
    if (auto* t = qobject_cast<QTabWidget*>(w)) {
      for (int i = 0; i < t->count(); ++i) texts << t->tabText(i) << t->tabToolTip(i);
    }
  }
  for (QAction* a : window->findChildren<QAction*>()) texts << a->text() << a->toolTip();
  return texts;
}

// Every cell of the table of results.
QStringList TableTexts(const QAbstractItemModel& model) {
  QStringList texts;
  for (int row = 0; row < model.rowCount(); ++row) {
    for (int column = 0; column < model.columnCount(); ++column)
      texts << model.data(model.index(row, column)).toString();
  }
  return texts;
}

// Runs the window's commands that show boxes, log lines, the table of
// results, the checksum's progress and the readme tab's failure, and returns
// all they showed.
QStringList CommandTexts(int& boxes) {
  QTemporaryDir dir;
  WorkingDirectory working(dir.path());  // no user guide here
  const QString input = dir.filePath("in.bin");
  WriteFile(input, InputWithStreams(1, 7));
  WindowUnderTest w;
  w.seam.defaultAnswer = BoxAnswer::Ignore;
  auto* edtInput = w.find<QLineEdit>("edtInput");
  auto* edtOutput = w.find<QLineEdit>("edtOutput");
  // A pattern without a folder; a missing input; a stream that cannot be
  // written; a run that writes it; every format.
  edtOutput->setText("x.mp3");
  w.find<QAction>("N2")->trigger();
  edtInput->setText(dir.filePath("missing.bin"));
  w.find<QPushButton>("btnExecute")->click();
  ResultsModel* results = w.window->Results()->model();
  results->flush();
  QStringList tables = TableTexts(*results);
  edtInput->setText(input);
  edtOutput->setText(dir.filePath("no/such/%3.3d.mp3"));
  w.find<QPushButton>("btnExecute")->click();
  results->flush();
  tables << TableTexts(*results);
  edtOutput->setText(dir.filePath("out/%3.3d.mp3"));
  w.find<QPushButton>("btnExecute")->click();
  w.find<QAction>("AllFormats1")->trigger();
  // The tag INI file: two inputs refused; another name and CRC asked about.
  const QString ini = dir.filePath("t.ini");
  WriteFile(ini, "[general]\nInputFile=other.bin\nInputCRC=00000000\n");
  w.find<QLineEdit>("edtTagIni")->setText(ini);
  w.find<QCheckBox>("chkTagIni")->setChecked(true);
  edtInput->setText(input + "," + input);
  w.find<QPushButton>("btnExecute")->click();
  edtInput->setText(input);
  w.seam.answers = {BoxAnswer::Yes, BoxAnswer::Yes};
  w.find<QPushButton>("btnExecute")->click();
  w.find<QTabWidget>("PageControl1")->setCurrentIndex(5);

  QStringList texts = w.log() + tables;
  for (const ShownBox& box : w.seam.boxes) texts << QString::fromStdString(box.text);
  texts << w.find<QPlainTextEdit>("Memo1")->toPlainText();
  InputFile file = InputFile::OpenRead(Std(input));
  CalcFileCrc(
      file, [&](const std::string& t) { texts << QString::fromStdString(t); }, [] {});
  boxes = static_cast<int>(w.seam.boxes.size());
  return texts;
}

// The title and button texts of a real message box of the seam.
QStringList RealBoxTexts(BoxType type, BoxButtons buttons) {
  QStringList texts;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    texts << box->windowTitle();
    for (QAbstractButton* b : box->buttons()) texts << b->text();
    box->reject();
  });
  UiSeam seam;
  seam.messageBox(nullptr, type, "x", buttons, 0);
  return texts;
}

QStringList AllTexts(int& boxes) {
  WindowUnderTest w;
  QStringList texts = WindowTexts(w.window.get());
  texts << CommandTexts(boxes);
  texts << RealBoxTexts(BoxType::Error, BoxButtons::AbortIgnore)
        << RealBoxTexts(BoxType::Warning, BoxButtons::YesNo)
        << RealBoxTexts(BoxType::Warning, BoxButtons::Ok);
  return texts;
}

// The English texts of the catalog that differ from their sources.
QStringList EnglishTranslations() {
  QStringList english;
  const QString ts = QString::fromUtf8(
      ReadFile(QStringLiteral(ZANDREL_TEST_DATA "/../../translations/zandrel_en.ts")));
  static const QRegularExpression re(QStringLiteral("<translation>([^<]{6,})</translation>"));
  for (auto it = re.globalMatch(ts); it.hasNext();) english << it.next().captured(1);
  return english;
}

}  // namespace

class LanguageTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InitTestApplication(); }
  void cleanup() { ApplyLanguage("ja"); }

  void englishLeavesNoJapanese() {
    ApplyLanguage("en");
    int boxes = 0;
    const QStringList texts = AllTexts(boxes);
    // N2, the missing input, the stream not written, the refusal, two
    // questions: each command did show its box.
    QVERIFY(boxes >= 6);
    for (const QString& text : texts) {
      QVERIFY2(!HasJapanese(text), qPrintable(text));
      QVERIFY2(!text.contains(QStringLiteral("Not Found")), qPrintable(text));
    }
    QVERIFY(texts.contains(QStringLiteral("ogg: nothing found")));
    QVERIFY(texts.filter(QStringLiteral("for MP3 files!")).size() >= 4);
    QVERIFY(texts.contains(QStringLiteral("Warning")));
    QVERIFY(texts.contains(QStringLiteral("&Yes")));
  }

  void japaneseShowsNoTranslation() {
    ApplyLanguage("ja");
    int boxes = 0;
    const QStringList texts = AllTexts(boxes);
    QVERIFY(boxes >= 6);
    const QStringList english = EnglishTranslations();
    QVERIFY(english.size() > 40);
    for (const QString& text : texts) {
      for (const QString& e : english) QVERIFY2(!text.contains(e), qPrintable(text + " / " + e));
    }
    QVERIFY(texts.contains(QStringLiteral("警告")));
    QVERIFY(texts.filter(QStringLiteral("からMP3ファイルを探しますっ！")).size() >= 4);
    QVERIFY(texts.contains(QStringLiteral("* readme.txt が読めないよ (´･ω･`)")));
  }

  void languageOfTheEnvironment() {
    struct Row {
      const char* option;
      std::map<std::string, std::string> env;
      const char* language;
    };
    const std::vector<Row> rows = {
        {"", {}, "ja"},
        {"", {{"LANG", "C"}}, "ja"},
        {"", {{"LANG", "C.UTF-8"}, {"LANGUAGE", "en"}}, "ja"},
        {"", {{"LC_ALL", "POSIX"}, {"LANG", "en_US.UTF-8"}}, "ja"},
        {"", {{"LANG", "ja_JP.UTF-8"}}, "ja"},
        {"", {{"LANG", "en_US.UTF-8"}}, "en"},
        {"", {{"LANG", "de_DE.UTF-8"}}, "en"},
        {"", {{"LC_MESSAGES", "en_GB.UTF-8"}, {"LANG", "ja_JP.UTF-8"}}, "en"},
        {"", {{"LC_ALL", "ja_JP.UTF-8"}, {"LC_MESSAGES", "en_GB.UTF-8"}}, "ja"},
        {"", {{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "fr:ja:en"}}, "ja"},
        {"", {{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "de_AT:en_GB"}}, "en"},
        {"", {{"LANG", "ja_JP.UTF-8"}, {"LANGUAGE", "fr"}}, "ja"},
        {"", {{"LANG", "en_US.UTF-8"}, {"LANGUAGE", ""}}, "en"},
        {"ja", {{"LANG", "en_US.UTF-8"}}, "ja"},
        {"en", {{"LANG", "C"}}, "en"},
    };
    for (const Row& row : rows) {
      auto env = [&](const char* name) -> const char* {
        auto it = row.env.find(name);
        return it == row.env.end() ? nullptr : it->second.c_str();
      };
      QCOMPARE(ChooseLanguage(row.option, env), std::string(row.language));
    }
    QVERIFY(IsKnownLanguage("ja") && IsKnownLanguage("en"));
    QVERIFY(!IsKnownLanguage("") && !IsKnownLanguage("fr") && !IsKnownLanguage("en_US"));
  }

  // --lang LANG and --lang=LANG; its value is never a file, after "--" it is no option.
  void languageOption() {
    struct Row {
      std::vector<std::string> args;
      bool given;
      std::string language;
      std::vector<std::string> files;
    };
    const std::vector<Row> rows = {
        {{"a.pak"}, false, "", {"a.pak"}},
        {{"--lang", "en", "a.pak"}, true, "en", {"a.pak"}},
        {{"a.pak", "--lang=ja"}, true, "ja", {"a.pak"}},
        {{"--lang"}, true, "", {}},
        {{"--", "--lang", "en"}, false, "", {"--lang", "en"}},
    };
    for (const Row& row : rows) {
      const WindowCommandLine line = ParseWindowCommandLine(row.args);
      QCOMPARE(line.languageGiven, row.given);
      QCOMPARE(line.language, row.language);
      QCOMPARE(line.files, row.files);
      QVERIFY(line.unknownOption.empty());
    }
  }
};

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
