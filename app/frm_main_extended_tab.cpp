// The tab "拡張": a check box for each extended detection rule of the table
// of settings, all off at start, and the box that keeps All to the classic rules (All takes every
// extended rule otherwise). The host reads them live like every other option.
// Below them, the digests every output of a run gets as it is written (the
// command line's --hash), shown in the table of results.
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/frm_main.h"
#include "app/text_conv.h"
#include "carve/engine/settings.h"
#include "platform/translate.h"

namespace {

QCheckBox* RuleBox(QWidget* parent, std::string_view name, std::string_view caption) {
  auto* box = new QCheckBox(ToQ(Tr("settings", caption).shown()), parent);
  box->setObjectName(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  return box;
}

}  // namespace

QWidget* TfrmMain::BuildExtendedTab() {
  auto* sheet = new QWidget;
  sheet->setObjectName(QStringLiteral("TabSheetExtended"));
  // The rules at their own height, scrolled: the tab is lower than they are.
  auto* scroll = new QScrollArea(sheet);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  auto* outer = new QVBoxLayout(sheet);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(scroll);
  auto* tab = new QWidget(scroll);
  scroll->setWidget(tab);
  auto* column = new QVBoxLayout(tab);
  column->setContentsMargins(4, 2, 4, 2);
  column->setSpacing(0);
  for (const SettingRow& row : Settings()) {
    if (row.extended) column->addWidget(RuleBox(tab, row.control, row.label));
  }
  chkClassicAll = new QCheckBox(tr("すべての形式の抽出でも従来の規則を使う"), tab);
  chkClassicAll->setObjectName(QStringLiteral("chkClassicAll"));
  column->addWidget(chkClassicAll);
  auto* hashes = new QHBoxLayout;
  hashes->setContentsMargins(0, 0, 0, 0);
  //: Before the check boxes of the digests (MD5, SHA-1, SHA-256) of every output.
  hashes->addWidget(new QLabel(tr("出力ファイルのハッシュ:"), tab));
  static const char* const kNames[] = {"chkHashMd5", "chkHashSha1", "chkHashSha256"};
  static const char* const kCaptions[] = {"MD5", "SHA-1", "SHA-256"};
  for (size_t i = 0; i < chkHashes.size(); ++i) {
    chkHashes[i] = new QCheckBox(QString::fromLatin1(kCaptions[i]), tab);
    chkHashes[i]->setObjectName(QString::fromLatin1(kNames[i]));
    hashes->addWidget(chkHashes[i]);
  }
  hashes->addStretch(1);
  column->addLayout(hashes);
  column->addStretch(1);
  return sheet;
}

unsigned TfrmMain::HashKinds() const {
  unsigned kinds = 0;
  for (size_t i = 0; i < chkHashes.size(); ++i) {
    if (chkHashes[i]->isChecked()) kinds |= 1U << i;
  }
  return kinds;
}
