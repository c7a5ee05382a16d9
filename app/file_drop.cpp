// Files from outside the window: a list of local files dropped on the window
// or on the input field, and the names the program was started with, become
// the inputs the way the input chooser's do. A dropped folder stands for
// every regular file below it. Names are byte strings, kept whole whether or
// not they are UTF-8.
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QStringList>
#include <QUrl>
#include <optional>

#include "app/frm_main.h"
#include "app/text_conv.h"
#include "carve/engine/run.h"
#include "carve/engine/sink.h"
#include "platform/comma_text.h"
#include "platform/folders.h"
#include "platform/io_error.h"

namespace {

// The longest comma text of several names the input field shows; a longer
// list shows as a count.
constexpr size_t kLongestInputText = 2048;
// The names of a long list its tooltip shows.
constexpr size_t kInputsInTooltip = 30;

// The paths of a drag that carries only local files (file: URLs without a
// host other than this one); nothing for any other drag.
std::optional<std::vector<std::string>> LocalFiles(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return std::nullopt;
  std::vector<std::string> paths;
  for (QUrl url : data->urls()) {
    const QString host = url.host();
    if (!url.isLocalFile() || !(host.isEmpty() || host == QLatin1String("localhost"))) {
      return std::nullopt;
    }
    // "file://localhost/x" names this machine's "/x", not a share "//localhost/x".
    url.setHost(QString());
    if (url.toLocalFile().isEmpty()) return std::nullopt;
    // The bytes of the name, from the URL's percent-encoding: a name that is
    // not UTF-8 would not survive a QString.
    paths.push_back(
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString());
  }
  if (paths.empty()) return std::nullopt;
  return paths;
}

// Keeps the first folder that could not be read.
class FirstUnreadable : public Sink {
 public:
  void AddLog(const std::string& /*line*/) override {}
  void FolderUnreadable(const IoError& error) override {
    if (path.empty()) path = error.path();
  }
  std::string path;
};

}  // namespace

void TfrmMain::SetInputFiles(const std::vector<std::string>& paths) {
  if (!paths.empty()) ShowInputs(paths, std::string());
}

void TfrmMain::ShowInputs(const std::vector<std::string>& paths, const std::string& folder) {
  // One file is written bare, blanks and all; several as comma text, while
  // that is short enough to read in the field. A folder shows as itself.
  const std::string comma = paths.size() == 1 ? paths.front() : ToCommaText(paths);
  if (folder.empty() && (paths.size() == 1 || comma.size() <= kLongestInputText)) {
    FInputs.clear();
    FInputsText.clear();
    edtInput->setText(NameToQ(comma));
    edtInput->setToolTip(QString());
    return;
  }
  // A long list, or a folder's, stays in the window; the field shows how
  // many files (and the folder they came from) and its tooltip the first of
  // them.
  const QString count = QString::number(paths.size());
  FInputsText = folder.empty() ? tr("%1個のファイル").arg(count)
                               : tr("%1 (%2個のファイル)").arg(NameToQ(folder), count);
  FInputs = paths;
  QStringList shown;
  for (size_t i = 0; i < paths.size() && i < kInputsInTooltip; ++i) shown << NameToQ(paths[i]);
  //: %1 how many more files the input list holds.
  if (paths.size() > kInputsInTooltip) shown << tr("ほか%1個").arg(paths.size() - kInputsInTooltip);
  edtInput->setText(FInputsText);
  edtInput->setToolTip(shown.join(QLatin1Char('\n')));
}

std::vector<std::string> TfrmMain::InputList() const {
  if (!FInputs.empty() && edtInput->text() == FInputsText) return FInputs;
  return ParseInputList(NameFromQ(edtInput->text()));
}

void TfrmMain::SetInputFilesAndFolders(const std::vector<std::string>& paths) {
  FirstUnreadable unreadable;
  const NameList listed = ExpandFolders(paths, unreadable, nullptr, *FEnv);
  if (!unreadable.path.empty()) {
    //: %1 the folder that could not be read.
    ShowBox(BoxType::Warning,
            FromQ(tr("読み込めないフォルダを飛ばしました(%1)").arg(ToQ(unreadable.path))),
            BoxButtons::Ok);
  }
  std::vector<std::string> files;
  files.reserve(listed.size());
  for (std::string_view file : listed) files.emplace_back(file);
  if (files.empty()) return;
  // A folder alone shows as itself, with the number of its files.
  ShowInputs(files,
             paths.size() == 1 && DirectoryExists(paths.front(), *FEnv) ? paths.front() : "");
}

bool TfrmMain::TakeFileDrag(QDropEvent* event) {
  const auto paths = LocalFiles(event->mimeData());
  if (!paths) {
    event->ignore();
    return false;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  if (event->type() == QEvent::Drop) SetInputFilesAndFolders(*paths);
  return true;
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) { TakeFileDrag(event); }

void TfrmMain::dragMoveEvent(QDragMoveEvent* event) { TakeFileDrag(event); }

void TfrmMain::dropEvent(QDropEvent* event) { TakeFileDrag(event); }

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  // The input field takes no dropped text of its own: only files, as above.
  if (watched == edtInput && (event->type() == QEvent::DragEnter ||
                              event->type() == QEvent::DragMove || event->type() == QEvent::Drop)) {
    TakeFileDrag(static_cast<QDropEvent*>(event));
    return true;
  }
  return QWidget::eventFilter(watched, event);
}
