// The window as the prompt of the checks before a run: a refusal is an error
// box that shows the tag tab, a question a warning box with Yes and No, both
// with a beep; the input's CRC-32 is computed into the checksum field.
#include <QLineEdit>
#include <QTabWidget>

#include "app/frm_main.h"
#include "app/text_conv.h"

namespace {
constexpr int kTagPage = 3;
}

void TfrmMain::Refuse(const std::string& reason) {
  FSeam->beep();
  ShowBox(BoxType::Error, reason, BoxButtons::Ok);
  PageControl1->setCurrentIndex(kTagPage);
}

bool TfrmMain::Confirm(const std::string& question) {
  FSeam->beep();
  return ShowBox(BoxType::Warning, question, BoxButtons::YesNo) == BoxAnswer::Yes;
}

std::optional<std::string> TfrmMain::InputCrcText(const std::string& /*input*/) {
  // The checksum command over the input field, which holds this one input.
  if (!CalcInputCrcs()) return std::nullopt;
  return FromQ(edtCRC->text());
}
