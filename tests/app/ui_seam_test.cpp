// The Qt side of the seam: message boxes answered by pressing their buttons,
// and the translation of dialog filters into Qt's name filters.
#include "app/ui_seam.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app_test_util.h"

namespace {

// Presses `button` of the next message box once it is shown; Escape when
// `button` is NoButton.
void AnswerNextBox(QMessageBox::StandardButton button, QString* shownText = nullptr) {
  QTimer::singleShot(0, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box);
    if (shownText) {
      auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
      QVERIFY(label);
      QCOMPARE(label->textFormat(), Qt::PlainText);
      *shownText = label->text();
    }
    if (button == QMessageBox::NoButton) {
      QTest::keyClick(box, Qt::Key_Escape);
    } else {
      box->button(button)->click();
    }
  });
}

}  // namespace

class UiSeamTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InitTestApplication(); }

  void messageBoxReturnsTheButtonPressed() {
    UiSeam seam;
    QString shown;
    AnswerNextBox(QMessageBox::Ignore, &shown);
    QCOMPARE(seam.messageBox(nullptr, BoxType::Error, "<b>x</b>\n1", BoxButtons::AbortIgnore, 2),
             BoxAnswer::Ignore);
    QCOMPARE(shown, QStringLiteral("<b>x</b>\n1"));

    AnswerNextBox(QMessageBox::Abort);
    QCOMPARE(seam.messageBox(nullptr, BoxType::Error, "m", BoxButtons::AbortIgnore, 0),
             BoxAnswer::Abort);
    AnswerNextBox(QMessageBox::Yes);
    QCOMPARE(seam.messageBox(nullptr, BoxType::Warning, "q", BoxButtons::YesNo, 0), BoxAnswer::Yes);
    AnswerNextBox(QMessageBox::Ok);
    QCOMPARE(seam.messageBox(nullptr, BoxType::Warning, "w", BoxButtons::Ok, 0), BoxAnswer::Ok);
    // Escape on a question is its No, never a Yes.
    AnswerNextBox(QMessageBox::NoButton);
    QCOMPARE(seam.messageBox(nullptr, BoxType::Warning, "q", BoxButtons::YesNo, 0), BoxAnswer::No);
  }

  // The box of a failing stream: the classic text, the path below it as it
  // is, and the check box whose state comes back with the answer.
  void failureBoxNamesThePathAndOffersTheSameAnswer() {
    const struct {
      QMessageBox::StandardButton press;
      bool tick;
      std::string path;
      BoxAnswer answer;
    } cases[] = {
        {QMessageBox::Ignore, true, "/out/<b>x</b>/001.mp3", BoxAnswer::Ignore},
        {QMessageBox::Abort, false, "/out", BoxAnswer::Abort},
        {QMessageBox::NoButton, true, "", BoxAnswer::Abort},  // Escape is Abort
    };
    for (const auto& c : cases) {
      UiSeam seam;
      QString text, informative;
      QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        text = box->text();
        informative = box->informativeText();
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
          QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(box->checkBox());
        QCOMPARE(box->checkBox()->text(), QStringLiteral("この実行の残りにも同じ答えを使う"));
        box->checkBox()->setChecked(c.tick);
        if (c.press == QMessageBox::NoButton) {
          QTest::keyClick(box, Qt::Key_Escape);
        } else {
          box->button(c.press)->click();
        }
      });
      bool same = !c.tick;
      QCOMPARE(
          seam.failureBox(nullptr, "Access denied\n1番目のファイルの処理中にエラーが起こりました",
                          c.path, 5, same),
          c.answer);
      QCOMPARE(text,
               QStringLiteral("Access denied\n1番目のファイルの処理中にエラーが起こりました"));
      QCOMPARE(informative, QString::fromStdString(c.path));
      QCOMPARE(same, c.tick);
    }
  }

  void dialogFiltersForQt() {
    QCOMPARE(QtNameFilters("All files (*.*)|*.*"), std::vector<std::string>{"All files (*)"});
    QCOMPARE(QtNameFilters("Ini File(*.ini)|*.ini"), std::vector<std::string>{"Ini File (*.ini)"});
    QCOMPARE(QtNameFilters("Audio|*.mp3;*.ogg|All files (*.*)|*.*"),
             (std::vector<std::string>{"Audio (*.mp3 *.ogg)", "All files (*)"}));
    QVERIFY(QtNameFilters("").empty());
  }
};

QTEST_MAIN(UiSeamTest)
#include "ui_seam_test.moc"
