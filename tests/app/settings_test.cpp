// The window as it opens: caption, tabs, every option at its default, the
// texts of the controls, and the rules of the spin controls.
#include "carve/engine/settings.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>
#include <string_view>

#include "app/window_host.h"
#include "app_test_util.h"
#include "carve/engine/formats.h"
#include "output/naming.h"
#include "platform/folders.h"

namespace {

// The pixels within `area` that differ from `ground`.
QPolygon Marks(const QImage& image, const QRect& area, QRgb ground) {
  QPolygon points;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (image.pixel(x, y) != ground) points << QPoint(x, y);
  return points;
}

QImage Shot(QWidget* widget) {
  return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Records the regions painted on a widget.
class PaintSpy : public QObject {
 public:
  QList<QRegion> regions;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) regions << static_cast<QPaintEvent*>(event)->region();
    return false;
  }
};

}  // namespace

class SettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InitTestApplication(); }

  void captionTabsAndStartupValues() {
    WindowUnderTest w;
    QCOMPARE(w.window->windowTitle(), QStringLiteral("zandrel beta 4"));
    QCOMPARE(w.window->objectName(), QStringLiteral("frmMain"));
    // The program's own icon in the sizes it is installed in; files may be
    // dropped on the window.
    QCOMPARE(w.window->windowIcon().availableSizes(),
             (QList<QSize>{QSize(48, 48), QSize(128, 128), QSize(256, 256)}));
    QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("org.zandrel.Zandrel"));
    QVERIFY(w.window->acceptDrops());

    auto* tabs = w.find<QTabWidget>("PageControl1");
    QVERIFY(tabs);
    const QStringList captions = {"入出力", "処理範囲",   "抽出の条件", "タグ",
                                  "拡張",   "readme.txt", "結果"};
    const QStringList names = {"TabSheet1",        "TabSheet2", "TabSheet3",      "TabSheet4",
                               "TabSheetExtended", "TabSheet5", "TabSheetResults"};
    QCOMPARE(tabs->count(), captions.size());
    for (int i = 0; i < tabs->count(); ++i) {
      QCOMPARE(tabs->tabText(i), captions[i]);
      QCOMPARE(tabs->widget(i)->objectName(), names[i]);
    }
    QCOMPARE(tabs->currentIndex(), 0);
    // Every tab's title is in sight at first start, the last one too: the
    // bar has no room to scroll.
    const QTabBar* tabBar = tabs->tabBar();
    QVERIFY2(tabBar->tabRect(tabBar->count() - 1).right() < tabBar->width(),
             qPrintable(QString::number(tabBar->width())));

    // The output pattern lies below the start-up directory, with one '/'.
    const std::string dir = GetCurrentDir();
    const std::string expected = (dir == "/" ? dir : dir + "/") + "output/%3.3d.mp3";
    QCOMPARE(w.find<QLineEdit>("edtOutput")->text(), QString::fromStdString(expected));
    QVERIFY(w.find<QLineEdit>("edtInput")->text().isEmpty());
    QVERIFY(w.find<QLineEdit>("edtCRC")->text().isEmpty());
    QVERIFY(w.find<QLineEdit>("edtCRC")->isReadOnly());
    QVERIFY(w.find<QLineEdit>("edtTagIni")->text().isEmpty());
    QVERIFY(w.find<QLineEdit>("edtTagIni")->isReadOnly());

    auto* button = w.find<QPushButton>("btnExecute");
    QCOMPARE(button->text(), QStringLiteral("実行！"));
    QCOMPARE(button->size(), QSize(73, 22));
    auto* bar = w.find<QProgressBar>("prgScan");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
  }

  // The output pattern names the working directory whatever its name holds;
  // without one, the home folder (or the root) stands in for it.
  void outputPatternFromAwkwardWorkingDirectories() {
    QTemporaryDir temp;
    const std::string base = temp.path().toStdString();
    const QByteArray savedHome = qgetenv("HOME");
    struct Case {
      std::string dir;  // made, entered and, when `removed`, deleted
      bool removed;
      const char* home;  // HOME, or null for none
      std::string expected;
    };
    const Case cases[] = {
        {base + "/50%done2", false, "/", base + "/50%%done2/output/%3.3d.mp3"},
        {base + "/gone", true, savedHome.constData(),
         DefaultOutputPattern(savedHome.toStdString())},
        {base + "/gone", true, nullptr, "/output/%3.3d.mp3"},
    };
    for (const Case& c : cases) {
      QVERIFY(QDir().mkpath(QString::fromStdString(c.dir)));
      WorkingDirectory cwd(QString::fromStdString(c.dir));
      if (c.removed) QVERIFY(QDir().rmdir(QString::fromStdString(c.dir)));
      if (c.home) {
        qputenv("HOME", c.home);
      } else {
        qunsetenv("HOME");
      }
      WindowUnderTest w;
      QCOMPARE(w.find<QLineEdit>("edtOutput")->text().toStdString(), c.expected);
    }
    qputenv("HOME", savedHome);
  }

  // Message boxes show the toolkit's buttons in Japanese.
  void japaneseButtonTexts() {
    QMessageBox box(QMessageBox::Warning, "", "",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Abort | QMessageBox::Ignore |
                        QMessageBox::Ok);
    QVERIFY(box.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("はい")));
    QVERIFY(box.button(QMessageBox::No)->text().startsWith(QStringLiteral("いいえ")));
    QVERIFY(box.button(QMessageBox::Abort)->text().startsWith(QStringLiteral("中止")));
    QVERIFY(box.button(QMessageBox::Ignore)->text().startsWith(QStringLiteral("無視")));
    QCOMPARE(box.button(QMessageBox::Ok)->text(), QStringLiteral("OK"));
  }

  void optionDefaults() {
    WindowUnderTest w;
    QVERIFY(w.find<QRadioButton>("rbtAll")->isChecked());
    QVERIFY(!w.find<QRadioButton>("rbtLimit")->isChecked());
    QCOMPARE(w.find<QRadioButton>("rbtAll")->text(),
             QStringLiteral("入力ファイルの先頭から末尾までを処理"));
    QCOMPARE(w.find<QRadioButton>("rbtLimit")->text(), QStringLiteral("範囲指定"));

    struct Spin {
      const char* spin;
      const char* edit;
      int min, max, value;
    };
    for (const Spin& s :
         {Spin{"updLower", "edtLower", 0, 99, 50}, Spin{"updUpper", "edtUpper", 1, 100, 100},
          Spin{"updFrameNum", "edtFrameNum", 2, 1000, 4}}) {
      auto* spin = w.find<QSpinBox>(s.spin);
      QVERIFY2(spin, s.spin);
      QCOMPARE(spin->minimum(), s.min);
      QCOMPARE(spin->maximum(), s.max);
      QCOMPARE(spin->value(), s.value);
      QVERIFY(!spin->wrapping());
      auto* edit = w.find<QLineEdit>(s.edit);
      QVERIFY2(edit, s.edit);
      QCOMPARE(edit->parent(), spin);
      QCOMPARE(edit->text(), QString::number(s.value));
    }

    struct Check {
      const char* name;
      const char* caption;
      bool on;
    };
    for (const Check& c :
         {Check{"chkSensitizeVersion", "mpegのバージョン、及びレイヤーの変更をファイル終端と解釈",
                true},
          Check{"chkSensitizeChannel",
                "チャンネル数変更(mono, stereo, jstereoなど)をファイル終端と解釈", true},
          Check{"chkSensitizeFreq", "サンプル周波数変更をファイル終端と解釈", true},
          Check{"chkSensitizeCRC", "CRC保護オプションの変更をファイル終端と解釈", true},
          Check{"chkTagIni", "ID3TAGの情報を、INIファイルから読み込む", false},
          Check{"chkID3v2Copy", "ID3v2Tagをコピーする", true},
          Check{"chkID3v1Copy", "ID3v1Tagをコピーする", true},
          Check{"chkFullId3v2", "大きなID3v2タグも検出する", false},
          Check{"chkSplitXing", "Xing/Infoヘッダで曲を分ける", false},
          Check{"chkWavAnyChunk", "fmt 以外のチャンクで始まるWAVEも検出する", false},
          Check{"chkOggWhole", "BOSからEOSまでそろったOggは最小ページ数によらず抽出する", false},
          Check{"chkOggCodecs", "Oggは論理ストリームを追いコーデック別に抽出する", false},
          Check{"chkRiffCodecs", "RIFXも検出しコーデック別の拡張子で抽出する", false},
          Check{"chkWavSound", "音声として成り立つWAVEだけを抽出する", false},
          Check{"chkMp3Reservoir", "MP3はビットリザーバの整合性も確かめる", false},
          Check{"chkImages", "E01イメージと分割イメージをひとつのイメージとして読む", false},
          Check{"chkClassicAll", "すべての形式の抽出でも従来の規則を使う", false}}) {
      auto* box = w.find<QCheckBox>(c.name);
      QVERIFY2(box, c.name);
      QCOMPARE(box->isChecked(), c.on);
      QCOMPARE(box->text(), QString::fromUtf8(c.caption));
    }

    // The four change detectors stand top to bottom in this order.
    w.find<QTabWidget>("PageControl1")->setCurrentIndex(2);
    QCoreApplication::sendPostedEvents();
    int previous = -1;
    for (const char* name :
         {"chkSensitizeVersion", "chkSensitizeChannel", "chkSensitizeFreq", "chkSensitizeCRC"}) {
      int y = w.find<QCheckBox>(name)->mapTo(w.window.get(), QPoint(0, 0)).y();
      QVERIFY2(y > previous, name);
      previous = y;
    }
  }

  // The Host side reads the controls at each call, not a copy.
  void hostReadsControlsLive() {
    WindowUnderTest w;
    Host& host = w.window->host();
    QVERIFY(!host.LimitRange());
    w.find<QRadioButton>("rbtLimit")->setChecked(true);
    QVERIFY(host.LimitRange());
    w.find<QSpinBox>("updLower")->setValue(7);
    w.find<QSpinBox>("updUpper")->setValue(60);
    w.find<QSpinBox>("updFrameNum")->setValue(12);
    QCOMPARE(host.LowerPercent(), 7);
    QCOMPARE(host.UpperPercent(), 60);
    QCOMPARE(host.MinFrames(), 12);
    w.find<QCheckBox>("chkSensitizeFreq")->setChecked(false);
    QVERIFY(!host.SensitizeOn(Sensitize::Freq));
    QVERIFY(host.SensitizeOn(Sensitize::Version));
    QVERIFY(host.SensitizeOn(Sensitize::Channel));
    QVERIFY(host.SensitizeOn(Sensitize::Crc));
    w.find<QCheckBox>("chkID3v1Copy")->setChecked(false);
    QVERIFY(!host.CopyID3v1());
    QVERIFY(host.CopyID3v2());
    // The extended rules, each on its own box.
    using Rule = bool (Host::*)();
    const std::pair<const char*, Rule> rules[] = {{"chkFullId3v2", &Host::FullId3v2},
                                                  {"chkSplitXing", &Host::SplitXing},
                                                  {"chkWavAnyChunk", &Host::WavAnyChunk},
                                                  {"chkOggWhole", &Host::OggWhole},
                                                  {"chkOggCodecs", &Host::OggCodecs},
                                                  {"chkRiffCodecs", &Host::RiffCodecs},
                                                  {"chkWavSound", &Host::WavSound},
                                                  {"chkMp3Reservoir", &Host::Mp3Reservoir},
                                                  {"chkImages", &Host::Images}};
    for (const auto& [name, rule] : rules) {
      QVERIFY2(!(host.*rule)(), name);
      w.find<QCheckBox>(name)->setChecked(true);
      for (const auto& [other, otherRule] : rules) QCOMPARE((host.*otherRule)(), other == name);
      w.find<QCheckBox>(name)->setChecked(false);
    }
    // A run of All takes every extended rule, unless the window keeps All to
    // the classic rules: then each box says; the boxes of the other
    // settings count as ever.
    auto& windowHost = static_cast<WindowHost&>(host);
    windowHost.RunIsAll(true);
    w.find<QCheckBox>("chkSplitXing")->setChecked(true);
    for (const bool classic : {false, true}) {
      w.find<QCheckBox>("chkClassicAll")->setChecked(classic);
      for (const auto& [name, rule] : rules) {
        QCOMPARE((host.*rule)(), !classic || std::string_view(name) == "chkSplitXing");
      }
      QVERIFY(!host.CopyID3v1());
    }
    windowHost.RunEnds();
    w.find<QCheckBox>("chkClassicAll")->setChecked(false);
    for (const auto& [name, rule] : rules) {
      QCOMPARE((host.*rule)(), std::string_view(name) == "chkSplitXing");
    }
    w.find<QCheckBox>("chkSplitXing")->setChecked(false);
    // Every row of the table of settings: its control, at the row's default
    // and within its bounds, read through that control alone.
    for (const SettingRow& row : Settings()) {
      WindowUnderTest each;
      Host& reader = each.window->host();
      const QString name = QString::fromLatin1(row.control.data(), row.control.size());
      auto* control = each.window->findChild<QWidget*>(name);
      QVERIFY2(control != nullptr, qPrintable(name));
      QCOMPARE(reader.Setting(row.id), row.defaultValue);
      int changed = row.defaultValue == row.lowest ? row.highest : row.lowest;
      if (auto* spin = qobject_cast<QSpinBox*>(control)) {
        QCOMPARE(spin->minimum(), row.lowest);
        QCOMPARE(spin->maximum(), row.highest);
        spin->setValue(changed);
      } else {
        auto* button = qobject_cast<QAbstractButton*>(control);
        QVERIFY2(button != nullptr, qPrintable(name));
        button->setChecked(changed != 0);
      }
      for (const SettingRow& other : Settings()) {
        QCOMPARE(reader.Setting(other.id), other.id == row.id ? changed : other.defaultValue);
      }
    }
    // The tag INI box is read as it is now.
    w.find<QCheckBox>("chkTagIni")->setChecked(true);
    QVERIFY(host.TagIniOn());
    w.find<QCheckBox>("chkTagIni")->setChecked(false);
    QVERIFY(!host.TagIniOn());
    QVERIFY(!host.Running());
    host.SetProgress(42);
    QCOMPARE(w.find<QProgressBar>("prgScan")->value(), 42);
  }

  void hintsMenuAndFonts() {
    WindowUnderTest w;
    QCOMPARE(w.find<QToolButton>("SpeedButton1")->toolTip(),
             QStringLiteral("入力ファイルを選択できます"));
    QCOMPARE(w.find<QToolButton>("spdCalcCRC")->toolTip(), QStringLiteral("CRCの計算をします"));
    QCOMPARE(w.find<QPushButton>("btnExecute")->toolTip(),
             QStringLiteral("指定されたファイルからMP3を抽出します"));
    QVERIFY(w.find<QToolButton>("SpeedButton2")->toolTip().isEmpty());
    QVERIFY(w.find<QLineEdit>("edtInput")->toolTip().isEmpty());

    auto* menu = w.find<QMenu>("PopupMenu1");
    QVERIFY(menu);
    const QList<QAction*> actions = menu->actions();
    // The classic entries, then those of the later formats in the table's
    // order, then the one for all formats, then the log's own.
    QStringList names = {"N1", "N2", "N3", "OggVorbis1", "RiffWAV1"};
    QStringList texts = {"ログのクリア(&C)", "出力フォルダを開く(&O)", "", "OggVorbisを抽出(α版)",
                         "Riff WAVを抽出(適当)"};
    for (const FormatRow& row : Formats().subspan(3)) {
      names << QString::fromUtf8(row.menuObject.data(), row.menuObject.size());
      texts << QString::fromUtf8(row.menuText.data(), row.menuText.size());
    }
    names << "AllFormats1"
          << "N4"
          << "CopySelected1"
          << "CopyLog1"
          << "SaveLog1";
    texts << "すべての形式を抽出"
          << ""
          << "選択した行をコピー(&P)"
          << "ログをすべてコピー(&A)"
          << "ログを保存(&S)...";
    QCOMPARE(actions.size(), names.size());
    for (int i = 0; i < actions.size(); ++i) {
      const bool separator = i == 2 || names[i] == "N4";
      QCOMPARE(actions[i]->objectName(), names[i]);
      QCOMPARE(actions[i]->isSeparator(), separator);
      if (!separator) QCOMPARE(actions[i]->text(), texts[i]);
    }

    QCOMPARE(w.window->font().families().value(0), QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(w.window->font().pixelSize(), 12);
    for (const char* name : {"lbxLog", "edtCRC", "Memo1"}) {
      QFont font = w.find<QWidget>(name)->font();
      QCOMPARE(font.families().value(0), QStringLiteral("ＭＳ ゴシック"));
      QVERIFY(font.families().contains(QStringLiteral("Noto Sans Mono CJK JP")));
      QCOMPARE(font.pixelSize(), 12);
    }
    QVERIFY(w.find<QPlainTextEdit>("Memo1")->isReadOnly());
  }

  // The upper panel keeps its height; the log and the edit fields grow.
  void resizing() {
    WindowUnderTest w;
    auto* tabs = w.find<QTabWidget>("PageControl1");
    auto* log = w.find<QWidget>("lbxLog");
    auto* input = w.find<QLineEdit>("edtInput");
    auto* button = w.find<QPushButton>("btnExecute");
    const int tabsHeight = tabs->height();
    const int logHeight = log->height();
    const int inputWidth = input->width();
    const QSize size = w.window->size() + QSize(200, 200);
    w.window->resize(size);
    QTRY_COMPARE(w.window->size(), size);
    QCOMPARE(tabs->height(), tabsHeight);
    QCOMPARE(log->height(), logHeight + 200);
    QCOMPARE(input->width(), inputWidth + 200);
    QCOMPARE(button->size(), QSize(73, 22));
    QCOMPARE(button->mapTo(w.window.get(), QPoint(button->width(), 0)).x(), size.width());
  }

  void spinTextRules() {
    WindowUnderTest w;
    auto* upper = w.find<QSpinBox>("updUpper");
    auto* edtUpper = w.find<QLineEdit>("edtUpper");
    upper->setValue(37);
    // Text beyond the bounds or not a number leaves the last valid value.
    edtUpper->setText("101");
    QCOMPARE(upper->value(), 37);
    edtUpper->setText("abc");
    QCOMPARE(upper->value(), 37);
    edtUpper->setText("100");
    QCOMPARE(upper->value(), 100);
    // Typed key by key, 101 never becomes the value.
    edtUpper->setFocus();
    edtUpper->selectAll();
    QTest::keyClicks(upper, "101");
    QVERIFY(upper->value() <= 100);
    QVERIFY(upper->value() >= 1);

    auto* lower = w.find<QSpinBox>("updLower");
    auto* edtLower = w.find<QLineEdit>("edtLower");
    edtLower->setText("100");
    QCOMPARE(lower->value(), 50);
    edtLower->setText("-1");
    QCOMPARE(lower->value(), 50);
    edtLower->setText("0");
    QCOMPARE(lower->value(), 0);

    auto* frames = w.find<QSpinBox>("updFrameNum");
    auto* edtFrames = w.find<QLineEdit>("edtFrameNum");
    edtFrames->setText("1");
    QCOMPARE(frames->value(), 4);
    edtFrames->setText("2");
    QCOMPARE(frames->value(), 2);
    edtFrames->setText("1001");
    QCOMPARE(frames->value(), 2);
    // A refused text is replaced by the value in force when editing ends.
    edtFrames->setFocus();
    edtFrames->selectAll();
    QTest::keyClicks(frames, "1");
    QTest::keyClick(frames, Qt::Key_Return);
    QCOMPARE(frames->value(), 2);
    QCOMPARE(edtFrames->text(), QStringLiteral("2"));
  }

  // Japanese and ASCII glyphs are drawn whole in the 12-pixel rows, though
  // the font's natural line is taller: as much ink as the text drawn alone.
  void logGlyphsDrawnWhole() {
    WindowUnderTest w;
    auto* list = w.find<QListView>("lbxLog");
    for (const char* text : {"gjpqy_(|)[$]{};,", "\"/tmp/鬱.bin\"からOggファイルを探しますっ！",
                             "[001($00000000-$00001234)] mpeg1.0layer3"}) {
      w.find<QAction>("N1")->trigger();
      for (const char* line : {"", text, ""}) w.window->host().AddLog(line);
      const QImage shown = Shot(list->viewport());
      QImage alone(shown.size(), QImage::Format_RGB32);
      alone.fill(Qt::white);
      QPainter painter(&alone);
      painter.setFont(list->font());
      painter.drawText(QPointF(10, 30), QString::fromUtf8(text));
      painter.end();
      const QRect drawn =
          Marks(shown, shown.rect(), shown.pixel(0, shown.height() - 1)).boundingRect();
      QCOMPARE(drawn.size(), Marks(alone, alone.rect(), qRgb(255, 255, 255)).boundingRect().size());
      const QRect row = list->visualRect(list->model()->index(1, 0));
      QVERIFY2(drawn.top() >= row.top() && drawn.top() <= row.bottom(), text);
    }
  }

  // On a highlighted row the descenders of the line above keep their pixels.
  void logHighlightKeepsNeighbourGlyphs() {
    WindowUnderTest w;
    auto* list = w.find<QListView>("lbxLog");
    for (const char* line : {"gjpqy_(|)[$]", "", ""}) w.window->host().AddLog(line);
    const QRect row = list->visualRect(list->model()->index(1, 0));
    const QPolygon plain = Marks(Shot(list->viewport()), row, Shot(list->viewport()).pixel(0, 50));
    QVERIFY(!plain.isEmpty());
    list->setCurrentIndex(list->model()->index(1, 0));
    const QImage lit = Shot(list->viewport());
    QVERIFY(lit.pixel(row.right() - 1, row.center().y()) != lit.pixel(0, 50));
    QCOMPARE(Marks(lit, row, lit.pixel(row.right() - 1, row.center().y())), plain);
  }

  // A repaint of part of the log is followed by one of all of it, and that
  // one by no other.
  void logPartialRepaintWidens() {
    WindowUnderTest w;
    auto* list = w.find<QListView>("lbxLog");
    for (int i = 0; i < 5; ++i) w.window->host().AddLog("gjpqy 探します");
    PaintSpy spy;
    list->viewport()->installEventFilter(&spy);
    list->viewport()->repaint(list->visualRect(list->model()->index(2, 0)));
    QTRY_COMPARE(spy.regions.size(), 2);
    QCOMPARE(spy.regions[0], QRegion(list->visualRect(list->model()->index(2, 0))));
    QCOMPARE(spy.regions[1], QRegion(list->viewport()->rect()));
    QTest::qWait(50);
    QCOMPARE(spy.regions.size(), 2);
    list->viewport()->removeEventFilter(&spy);
  }

  // Page Up and Page Down step no spin value, sent to the spin or its edit.
  void spinPageKeysDoNothing() {
    WindowUnderTest w;
    for (const char* name : {"updLower", "updUpper", "updFrameNum"}) {
      auto* spin = w.find<QSpinBox>(name);
      const int value = spin->minimum() + 10;
      spin->setValue(value);
      for (QWidget* target :
           {static_cast<QWidget*>(spin), static_cast<QWidget*>(spin->findChild<QLineEdit*>())})
        for (Qt::Key key : {Qt::Key_PageUp, Qt::Key_PageDown}) {
          QTest::keyClick(target, key);
          QCOMPARE(spin->value(), value);
        }
      QTest::keyClick(spin, Qt::Key_Up);
      QCOMPARE(spin->value(), value + 1);
    }
  }

  void spinArrowsAndThousands() {
    WindowUnderTest w;
    auto* upper = w.find<QSpinBox>("updUpper");
    upper->setFocus();
    QTest::keyClick(upper, Qt::Key_Up);
    QCOMPARE(upper->value(), 100);  // no wrap to 1
    QTest::keyClick(upper, Qt::Key_Down);
    QCOMPARE(upper->value(), 99);

    auto* lower = w.find<QSpinBox>("updLower");
    lower->setValue(0);
    lower->stepDown();
    QCOMPARE(lower->value(), 0);  // no wrap to 99
    lower->stepUp();
    QCOMPARE(lower->value(), 1);

    auto* frames = w.find<QSpinBox>("updFrameNum");
    frames->setValue(999);
    QCOMPARE(w.find<QLineEdit>("edtFrameNum")->text(), QStringLiteral("999"));
    frames->stepUp();
    QCOMPARE(frames->value(), 1000);
    QCOMPARE(w.find<QLineEdit>("edtFrameNum")->text(), QStringLiteral("1,000"));
    frames->stepUp();
    QCOMPARE(frames->value(), 1000);
    frames->setValue(2);
    frames->stepDown();
    QCOMPARE(frames->value(), 2);
  }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
