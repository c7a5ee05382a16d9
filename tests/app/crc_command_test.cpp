// The checksum button: CRC-32 of every input into edtCRC, progress while a
// file is read, failures through the standard error report.
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "app_test_util.h"

class CrcCommandTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InitTestApplication(); }

  void oneFileTwoFilesAndAnEmptyOne() {
    QTemporaryDir temp;
    const QString abc = temp.filePath("abc.txt"), digits = temp.filePath("digits with blank.txt"),
                  empty = temp.filePath("empty");
    QVERIFY(WriteFile(abc, "abc"));
    QVERIFY(WriteFile(digits, "123456789"));
    QVERIFY(WriteFile(empty, ""));
    WindowUnderTest w;
    auto* input = w.find<QLineEdit>("edtInput");
    auto* crc = w.find<QLineEdit>("edtCRC");
    auto* button = w.find<QToolButton>("spdCalcCRC");

    input->setText(abc);
    button->click();
    QCOMPARE(crc->text(), QStringLiteral("352441C2"));

    input->setText(abc + ",\"" + digits + '"');
    button->click();
    QCOMPARE(crc->text(), QStringLiteral("352441C2, CBF43926"));

    input->setText(empty);
    button->click();
    QCOMPARE(crc->text(), QStringLiteral("00000000"));
    QVERIFY(w.seam.boxes.empty());

    // A change of the input text empties the field at once.
    input->setText(abc);
    QVERIFY(crc->text().isEmpty());
  }

  void progressIsShownWhileAFileIsRead() {
    QTemporaryDir temp;
    const QString big = temp.filePath("big.bin");
    QVERIFY(WriteFile(big, Filler(512 * 100, 3)));
    WindowUnderTest w;
    auto* crc = w.find<QLineEdit>("edtCRC");
    QStringList shown;
    QObject::connect(crc, &QLineEdit::textChanged, crc, [&](const QString& t) { shown << t; });
    w.find<QLineEdit>("edtInput")->setText(big);
    w.find<QToolButton>("spdCalcCRC")->click();
    QVERIFY(shown.size() > 2);
    QCOMPARE(shown.first(), QStringLiteral("CRCの計算中...(  0.0%)"));
    QVERIFY(shown[shown.size() - 2].startsWith(QStringLiteral("CRCの計算中...(")));
    QCOMPARE(shown.last(), crc->text());
    QCOMPARE(crc->text().size(), 8);
  }

  void firstUnreadableFileEndsTheCommand() {
    QTemporaryDir temp;
    const QString abc = temp.filePath("abc.txt"), missing = temp.filePath("missing.txt");
    QVERIFY(WriteFile(abc, "abc"));
    WindowUnderTest w;
    auto* crc = w.find<QLineEdit>("edtCRC");
    w.find<QLineEdit>("edtInput")->setText(abc + "," + missing + "," + abc);
    w.find<QToolButton>("spdCalcCRC")->click();
    QCOMPARE(w.seam.boxes.size(), size_t{1});
    QCOMPARE(w.seam.boxes[0].type, BoxType::Error);
    QCOMPARE(w.seam.boxes[0].text, std::string("File not found"));
    QCOMPARE(w.seam.boxes[0].buttons, BoxButtons::Ok);
    // The list is written only when every file was read.
    QVERIFY(!crc->text().contains(QStringLiteral("352441C2")));

    // An empty input names no file.
    w.find<QLineEdit>("edtInput")->clear();
    w.find<QToolButton>("spdCalcCRC")->click();
    QCOMPARE(w.seam.boxes.size(), size_t{2});
    QCOMPARE(w.seam.boxes[1].text, std::string("File not found"));
  }

  // Closing the window while a checksum is computed leaves the computation
  // without a report, and the window closes once it has returned.
  void closingTheWindowDuringAComputation() {
    QTemporaryDir temp;
    const QString big = temp.filePath("big.bin");
    QVERIFY(WriteFile(big, Filler(512 * 100, 4)));
    WindowUnderTest w;
    w.find<QLineEdit>("edtInput")->setText(big);
    QTimer::singleShot(0, w.window.get(), [&] { w.window->close(); });
    w.find<QToolButton>("spdCalcCRC")->click();
    QVERIFY(!w.window->isVisible());
    QVERIFY(w.seam.boxes.empty());
    QVERIFY(w.find<QLineEdit>("edtCRC")->text().startsWith(QStringLiteral("CRCの計算中")));
  }
};

QTEST_MAIN(CrcCommandTest)
#include "crc_command_test.moc"
