// The checksum command: the CRC-32 of every input file, with progress shown
// in edtCRC while a file is read, and the list of results at the end.
#include <QCoreApplication>
#include <QLineEdit>

#include "app/frm_main.h"
#include "app/text_conv.h"
#include "output/crc.h"
#include "platform/input_file.h"
#include "platform/io_error.h"
#include "platform/pacer.h"

namespace {

// Thrown out of the event pump when the window is closing, to leave the
// computation without a report.
struct CrcAbandoned {};

}  // namespace

void TfrmMain::spdCalcCRCClick() {
  Guarded([this] { CalcInputCrcs(); });
}

void TfrmMain::edtInputChange() {
  Guarded([this] {
    edtCRC->clear();
    // A list kept beside the field goes once the field says something else.
    if (!FInputs.empty() && edtInput->text() != FInputsText) {
      FInputs.clear();
      edtInput->setToolTip(QString());
    }
  });
}

bool TfrmMain::CalcInputCrcs() {
  const std::vector<std::string> names = InputList();
  auto showProgress = [this](const std::string& text) {
    edtCRC->setText(ToQ(text));
    edtCRC->repaint();
  };
  // The window gets a turn between blocks, but not after every block.
  Pacer pacer(FPumpIntervalMs);
  auto pump = [&] {
    if (!pacer.due()) return;
    QCoreApplication::processEvents();
    if (FClosePending) throw CrcAbandoned{};
  };
  std::vector<uint32_t> results;
  results.reserve(names.size());
  try {
    for (const std::string& name : names) {
      InputFile file = InputFile::OpenRead(name, *FEnv);
      results.push_back(CalcFileCrc(file, showProgress, pump));
      file.close();
    }
  } catch (const IoError& e) {
    ShowException(e);
    return false;
  } catch (const CrcAbandoned&) {
    return false;
  }
  edtCRC->setText(ToQ(CrcListText(results)));
  return true;
}
