// A UiSeam for the window tests: message boxes and file dialogs answered from
// a script, and everything shown recorded in order.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/ui_seam.h"

struct ShownBox {
  BoxType type;
  std::string text;
  BoxButtons buttons;
  int helpContext;
};

class TestSeam : public UiSeam {
 public:
  // Answers to the boxes, in order; when they run out an OK box gets Ok and
  // any other box `defaultAnswer`.
  std::deque<BoxAnswer> answers;
  BoxAnswer defaultAnswer = BoxAnswer::None;
  // Results of the file dialogs, in order; when they run out, a cancel.
  std::deque<std::optional<std::vector<std::string>>> dialogResults;

  // Whether the failure boxes have their "same for the rest" box ticked.
  bool tickSameForRest = false;
  // Results of the folder dialogs, in order; when they run out, a cancel.
  std::deque<std::optional<std::string>> folderResults;

  std::vector<ShownBox> boxes;
  // The path each failure box named, and where each folder dialog started.
  std::vector<std::string> failurePaths;
  std::vector<std::string> folderStarts;
  std::vector<FileDialogRequest> dialogs;
  std::vector<std::string> openedFolders;
  int beeps = 0;
  // "beep", "box:" + text, "dialog", "open:" + folder, in the order they came.
  std::vector<std::string> events;
  std::function<void(const ShownBox&)> onBox;

  BoxAnswer messageBox(QWidget*, BoxType type, const std::string& text, BoxButtons buttons,
                       int helpContext) override {
    boxes.push_back({type, text, buttons, helpContext});
    events.push_back("box:" + text);
    if (onBox) onBox(boxes.back());
    if (!answers.empty()) {
      BoxAnswer answer = answers.front();
      answers.pop_front();
      return answer;
    }
    return buttons == BoxButtons::Ok ? BoxAnswer::Ok : defaultAnswer;
  }

  // Shown as the other boxes are, with its path recorded.
  BoxAnswer failureBox(QWidget* parent, const std::string& text, const std::string& path,
                       int helpContext, bool& sameForRest) override {
    failurePaths.push_back(path);
    sameForRest = tickSameForRest;
    return messageBox(parent, BoxType::Error, text, BoxButtons::AbortIgnore, helpContext);
  }

  std::optional<std::string> chooseFolder(QWidget*, const std::string& start) override {
    folderStarts.push_back(start);
    events.push_back("folder");
    if (folderResults.empty()) return std::nullopt;
    auto result = folderResults.front();
    folderResults.pop_front();
    return result;
  }

  std::optional<std::vector<std::string>> openFiles(QWidget*,
                                                    const FileDialogRequest& request) override {
    dialogs.push_back(request);
    events.push_back("dialog");
    if (dialogResults.empty()) return std::nullopt;
    auto result = dialogResults.front();
    dialogResults.pop_front();
    return result;
  }

  void beep() override {
    ++beeps;
    events.push_back("beep");
  }

  void openFolder(QWidget*, const std::string& dir) override {
    openedFolders.push_back(dir);
    events.push_back("open:" + dir);
  }

  // Results of the save dialogs, in order; when they run out, a cancel.
  std::deque<std::optional<std::string>> saveResults;
  std::vector<std::string> saveSuggestions;
  std::optional<std::string> saveFile(QWidget*, const std::string& suggested) override {
    saveSuggestions.push_back(suggested);
    events.push_back("save");
    if (saveResults.empty()) return std::nullopt;
    auto result = saveResults.front();
    saveResults.pop_front();
    return result;
  }

  // What went onto the clipboard, each time.
  std::vector<std::string> copied;
  void copyText(const std::string& text) override { copied.push_back(text); }

  // Whether a file browser is there to show a file in its folder.
  bool fileBrowser = true;
  bool showInFolder(QWidget*, const std::string& path) override {
    events.push_back("show:" + path);
    return fileBrowser;
  }
};
