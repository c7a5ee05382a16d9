#include "app/ui_seam.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
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
                  type == BoxType::Error ? QStringLiteral("エラー") : QStringLiteral("警告"),
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

void UiSeam::beep() { QApplication::beep(); }

void UiSeam::openFolder(QWidget* /*parent*/, const std::string& dir) {
  QDesktopServices::openUrl(
      QUrl::fromLocalFile(QFileInfo(QFile::decodeName(dir.c_str())).absoluteFilePath()));
}

std::vector<std::string> QtNameFilters(const std::string& filter) {
  std::vector<std::string> parts;
  size_t begin = 0;
  for (;;) {
    size_t bar = filter.find('|', begin);
    parts.push_back(
        filter.substr(begin, bar == std::string::npos ? std::string::npos : bar - begin));
    if (bar == std::string::npos) break;
    begin = bar + 1;
  }
  std::vector<std::string> result;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string description = parts[i];
    // The description usually repeats its patterns in parentheses; Qt reads
    // the patterns from there, so they are written anew.
    size_t open = description.rfind('(');
    if (open != std::string::npos && description.back() == ')') description.erase(open);
    while (!description.empty() && description.back() == ' ') description.pop_back();
    std::string patterns;
    size_t p = 0;
    const std::string& list = parts[i + 1];
    for (;;) {
      size_t semi = list.find(';', p);
      std::string pattern =
          list.substr(p, semi == std::string::npos ? std::string::npos : semi - p);
      if (pattern == "*.*") pattern = "*";
      if (!pattern.empty()) patterns += (patterns.empty() ? "" : " ") + pattern;
      if (semi == std::string::npos) break;
      p = semi + 1;
    }
    result.push_back(description + " (" + patterns + ")");
  }
  return result;
}
