// Choosing the tag INI file: the chooser button, the check box that asks for
// a file when none was chosen, and the check box set without its handler.
#include <QCheckBox>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

#include "app_test_util.h"

class TagIniChooserTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InitTestApplication(); }

  void checkingWithoutAFileOpensTheChooser() {
    WindowUnderTest w;
    auto* check = w.find<QCheckBox>("chkTagIni");
    check->click();
    QCOMPARE(w.seam.dialogs.size(), size_t{1});
    const FileDialogRequest& request = w.seam.dialogs[0];
    QVERIFY(!request.allowMultiple);
    QVERIFY(request.mustExist);
    QCOMPARE(request.filter, std::string("Ini File(*.ini)|*.ini"));
    QCOMPARE(request.filterIndex, 1);
    // Cancelled with no path: the box goes off again.
    QVERIFY(!check->isChecked());
    QVERIFY(w.find<QLineEdit>("edtTagIni")->text().isEmpty());
  }

  void chooserButtonSwitchesTheOptionOn() {
    WindowUnderTest w;
    auto* check = w.find<QCheckBox>("chkTagIni");
    auto* path = w.find<QLineEdit>("edtTagIni");
    w.seam.dialogResults.push_back(std::vector<std::string>{"/some/where/tags.ini"});
    w.find<QToolButton>("SpeedButton2")->click();
    QCOMPARE(path->text(), QStringLiteral("/some/where/tags.ini"));
    QVERIFY(check->isChecked());
    // Setting the box did not run its handler, which would have asked again.
    QCOMPARE(w.seam.dialogs.size(), size_t{1});

    // Off keeps the path; on again uses it without asking.
    check->click();
    QVERIFY(!check->isChecked());
    check->click();
    QVERIFY(check->isChecked());
    QCOMPARE(w.seam.dialogs.size(), size_t{1});
    QCOMPARE(path->text(), QStringLiteral("/some/where/tags.ini"));

    // With a path present a cancelled chooser changes nothing.
    check->click();
    w.find<QToolButton>("SpeedButton2")->click();
    QCOMPARE(w.seam.dialogs.size(), size_t{2});
    QVERIFY(!check->isChecked());
    QCOMPARE(path->text(), QStringLiteral("/some/where/tags.ini"));

    // Choosing a file switches the box on even when it was off.
    w.seam.dialogResults.push_back(std::vector<std::string>{"/other/tags.ini"});
    w.find<QToolButton>("SpeedButton2")->click();
    QVERIFY(check->isChecked());
    QCOMPARE(path->text(), QStringLiteral("/other/tags.ini"));
    QCOMPARE(w.seam.dialogs.size(), size_t{3});
  }

  void checkingWithoutAFileAndChoosingOne() {
    WindowUnderTest w;
    auto* check = w.find<QCheckBox>("chkTagIni");
    w.seam.dialogResults.push_back(std::vector<std::string>{"/x/a.ini"});
    check->click();
    QVERIFY(check->isChecked());
    QCOMPARE(w.find<QLineEdit>("edtTagIni")->text(), QStringLiteral("/x/a.ini"));
    QCOMPARE(w.seam.dialogs.size(), size_t{1});
  }
};

QTEST_MAIN(TagIniChooserTest)
#include "tag_ini_chooser_test.moc"
