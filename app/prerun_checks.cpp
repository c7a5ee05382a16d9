// Before an MP3 run with the tag INI option: exactly one input, and that
// input the file the INI file was written for (base name and CRC-32).
#include <QLineEdit>
#include <QTabWidget>

#include "app/frm_main.h"
#include "app/text_conv.h"
#include "output/naming.h"

namespace {
constexpr int kTagPage = 3;
}

bool TfrmMain::PreRunChecks(const std::vector<std::string>& inputs, const std::string& expectedName,
                            const std::string& expectedCrc) {
  if (inputs.size() > 1) {
    Beep();
    MessageBox(BoxType::Error, "IniFileを指定した場合は複数選択できません", BoxButtons::Ok, 0);
    PageControl1->setCurrentIndex(kTagPage);
    return false;
  }
  if (inputs.empty()) return false;
  // Both comparisons are exact and case-sensitive.
  if (!expectedName.empty() && ExtractBaseName(inputs.front()) != expectedName) {
    Beep();
    if (MessageBox(BoxType::Warning,
                   "入力ファイル名がINIで指定されたものと違っていますが、続行しますか？",
                   BoxButtons::YesNo, 0) != BoxAnswer::Yes) {
      return false;
    }
  }
  if (!expectedCrc.empty()) {
    if (!CalcInputCrcs()) return false;
    if (FromQ(edtCRC->text()) != expectedCrc) {
      Beep();
      if (MessageBox(BoxType::Warning, "CRCがINIで指定されたものと違っていますが、続行しますか？",
                     BoxButtons::YesNo, 0) != BoxAnswer::Yes) {
        return false;
      }
    }
  }
  return true;
}
