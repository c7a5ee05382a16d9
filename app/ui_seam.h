// Everything the window shows or asks outside itself goes through one seam:
// modal message boxes, the file-open and folder dialogs, the beep and the desktop shell.
// The default implementation uses Qt; tests put in one with scripted answers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "carve/engine/host.h"

class QWidget;

// What the file-open dialog is asked for.
struct FileDialogRequest {
  bool allowMultiple = false;  // several files may be selected
  bool mustExist = true;       // each selected file must exist
  std::string filter;          // "description|patterns", pairs joined by '|'
  int filterIndex = 1;         // 1-based index of the filter shown first
};

class UiSeam {
 public:
  virtual ~UiSeam() = default;

  // Shows a modal box and returns the button pressed; None when the box was
  // closed without one.
  virtual BoxAnswer messageBox(QWidget* parent, BoxType type, const std::string& text,
                               BoxButtons buttons, int helpContext);
  // The chosen files with their full paths, or nothing when cancelled.
  virtual std::optional<std::vector<std::string>> openFiles(QWidget* parent,
                                                            const FileDialogRequest& request);
  // The box of a failure while writing a stream: `text` as messageBox shows
  // it with Abort and Ignore, the path the failure concerns below it, and a
  // check box to answer the same for the rest of the run, whose state goes
  // to `sameForRest`.
  virtual BoxAnswer failureBox(QWidget* parent, const std::string& text, const std::string& path,
                               int helpContext, bool& sameForRest);
  // The folder chosen, starting at `start`, or nothing when cancelled.
  virtual std::optional<std::string> chooseFolder(QWidget* parent, const std::string& start);
  virtual void beep();
  // Opens a folder in the desktop's file browser.
  virtual void openFolder(QWidget* parent, const std::string& dir);
  // Opens the folder that holds the file `path` in the desktop's file
  // browser; false when no file browser could be started.
  virtual bool showInFolder(QWidget* parent, const std::string& path);
  // The file to save to, starting at `suggested`; nothing when cancelled.
  // The dialog asks before a file is replaced.
  virtual std::optional<std::string> saveFile(QWidget* parent, const std::string& suggested);
  // Puts `text` (UTF-8) on the clipboard.
  virtual void copyText(const std::string& text);
};

// The Qt name filters for a "description|patterns|..." filter. Patterns are
// separated by ';'; "*.*" stands for every file, as "*" does on this system.
std::vector<std::string> QtNameFilters(const std::string& filter);
