// Files from outside the window: a list of local files dropped on the window
// or on the input field, and the names the program was started with, go into
// the input field the way the input chooser writes them. A dropped folder
// stands for every regular file below it.
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <optional>

#include "app/frm_main.h"
#include "app/text_conv.h"
#include "platform/comma_text.h"
#include "platform/folders.h"
#include "platform/io_error.h"

namespace {

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
    const QString path = url.toLocalFile();
    if (path.isEmpty()) return std::nullopt;
    paths.push_back(FromQ(path));
  }
  if (paths.empty()) return std::nullopt;
  return paths;
}

}  // namespace

void TfrmMain::SetInputFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  // One file is written bare, blanks and all; several as comma text.
  edtInput->setText(ToQ(paths.size() == 1 ? paths.front() : ToCommaText(paths)));
}

void TfrmMain::SetInputFilesAndFolders(const std::vector<std::string>& paths) {
  std::vector<std::string> files;
  std::string unreadable;
  for (const std::string& path : paths) {
    if (!DirectoryExists(path)) {
      files.push_back(path);
      continue;
    }
    for (std::string& file : FilesBelow(path, [&](const IoError& e) {
           if (unreadable.empty()) unreadable = e.path();
         })) {
      files.push_back(std::move(file));
    }
  }
  if (!unreadable.empty()) {
    //: %1 the folder that could not be read.
    MessageBox(BoxType::Warning,
               FromQ(tr("読み込めないフォルダを飛ばしました(%1)").arg(ToQ(unreadable))),
               BoxButtons::Ok, 0);
  }
  SetInputFiles(files);
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
