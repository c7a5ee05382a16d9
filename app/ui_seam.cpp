#include "app/ui_seam.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

#include "app/text_conv.h"

namespace {

QMessageBox::StandardButtons ToQtButtons(BoxButtons buttons) {
  switch (buttons) {
    case BoxButtons::Ok:
      return QMessageBox::Ok;
    case BoxButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case BoxButtons::AbortIgnore:
      return QMessageBox::Abort | QMessageBox::Ignore;
  }
  return QMessageBox::Ok;
}

BoxAnswer FromQtButton(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Ok:
      return BoxAnswer::Ok;
    case QMessageBox::Yes:
      return BoxAnswer::Yes;
    case QMessageBox::No:
      return BoxAnswer::No;
    case QMessageBox::Abort:
      return BoxAnswer::Abort;
    case QMessageBox::Ignore:
      return BoxAnswer::Ignore;
    default:
      return BoxAnswer::None;
  }
}

}  // namespace

BoxAnswer UiSeam::messageBox(QWidget* parent, BoxType type, const std::string& text,
                             BoxButtons buttons, int /*helpContext*/) {
  QMessageBox box(type == BoxType::Error ? QMessageBox::Critical : QMessageBox::Warning,
                  type == BoxType::Error ? QCoreApplication::translate("UiSeam", "エラー")
                                         : QCoreApplication::translate("UiSeam", "警告"),
                  ToQ(text), ToQtButtons(buttons), parent);
  // File names in a message are shown as they are, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  if (clicked == nullptr) return BoxAnswer::None;
  return FromQtButton(box.standardButton(clicked));
}

std::optional<std::vector<std::string>> UiSeam::openFiles(QWidget* parent,
                                                          const FileDialogRequest& request) {
  QStringList filters;
  for (const std::string& f : QtNameFilters(request.filter)) filters << ToQ(f);
  QString selected;
  if (request.filterIndex >= 1 && request.filterIndex <= filters.size()) {
    selected = filters[request.filterIndex - 1];
  }
  // The Qt dialogs for opening files accept existing files only.
  QStringList files;
  if (request.allowMultiple) {
    files =
        QFileDialog::getOpenFileNames(parent, QString(), QString(), filters.join(";;"), &selected);
  } else {
    QString file =
        QFileDialog::getOpenFileName(parent, QString(), QString(), filters.join(";;"), &selected);
    if (!file.isEmpty()) files << file;
  }
  if (files.isEmpty()) return std::nullopt;
  std::vector<std::string> paths;
  for (const QString& file : files) paths.push_back(QFile::encodeName(file).toStdString());
  return paths;
}

BoxAnswer UiSeam::failureBox(QWidget* parent, const std::string& text, const std::string& path,
                             int /*helpContext*/, bool& sameForRest) {
  QMessageBox box(QMessageBox::Critical, QCoreApplication::translate("UiSeam", "エラー"), ToQ(text),
                  QMessageBox::Abort | QMessageBox::Ignore, parent);
  box.setTextFormat(Qt::PlainText);
  if (!path.empty()) {
    box.setInformativeText(QFile::decodeName(path.c_str()));
    // A name is shown as it is, never as markup.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
      label->setTextFormat(Qt::PlainText);
  }
  auto* same = new QCheckBox(
      QCoreApplication::translate("UiSeam", "この実行の残りにも同じ答えを使う"), &box);
  box.setCheckBox(same);
  box.exec();
  sameForRest = same->isChecked();
  QAbstractButton* clicked = box.clickedButton();
  if (clicked == nullptr) return BoxAnswer::None;
  return FromQtButton(box.standardButton(clicked));
}

std::optional<std::string> UiSeam::chooseFolder(QWidget* parent, const std::string& start) {
  const QString dir =
      QFileDialog::getExistingDirectory(parent, QString(), QFile::decodeName(start.c_str()));
  if (dir.isEmpty()) return std::nullopt;
  return QFile::encodeName(dir).toStdString();
}

void UiSeam::beep() { QApplication::beep(); }

void UiSeam::openFolder(QWidget* /*parent*/, const std::string& dir) {
  QDesktopServices::openUrl(
      QUrl::fromLocalFile(QFileInfo(QFile::decodeName(dir.c_str())).absoluteFilePath()));
}

std::optional<std::string> UiSeam::saveFile(QWidget* parent, const std::string& suggested) {
  const QString file =
      QFileDialog::getSaveFileName(parent, QString(), QFile::decodeName(suggested.c_str()));
  if (file.isEmpty()) return std::nullopt;
  return QFile::encodeName(file).toStdString();
}

void UiSeam::copyText(const std::string& text) {
  QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

bool UiSeam::showInFolder(QWidget* /*parent*/, const std::string& path) {
  return QDesktopServices::openUrl(
      QUrl::fromLocalFile(QFileInfo(QFile::decodeName(path.c_str())).absolutePath()));
}

namespace {

// The pieces of `text` between the separators `sep`.
std::vector<std::string> SplitAt(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t begin = 0;
  for (size_t end; (end = text.find(sep, begin)) != std::string::npos; begin = end + 1) {
    parts.push_back(text.substr(begin, end - begin));
  }
  parts.push_back(text.substr(begin));
  return parts;
}

}  // namespace

std::vector<std::string> QtNameFilters(const std::string& filter) {
  const std::vector<std::string> parts = SplitAt(filter, '|');
  std::vector<std::string> result;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string description = parts[i];
    // The description usually repeats its patterns in parentheses; Qt reads
    // the patterns from there, so they are written anew.
    size_t open = description.rfind('(');
    if (open != std::string::npos && description.back() == ')') description.erase(open);
    while (!description.empty() && description.back() == ' ') description.pop_back();
    std::string patterns;
    for (std::string pattern : SplitAt(parts[i + 1], ';')) {
      if (pattern == "*.*") pattern = "*";
      if (!pattern.empty()) patterns += (patterns.empty() ? "" : " ") + pattern;
    }
    result.push_back(description + " (" + patterns + ")");
  }
  return result;
}
