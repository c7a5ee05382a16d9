// The tab "拡張": four check boxes that turn on the extended detection rules,
// all off at start. The host reads them live like every other option.
#include <QCheckBox>
#include <QVBoxLayout>

#include "app/frm_main.h"

namespace {

QCheckBox* RuleBox(QWidget* parent, const char* name, const char* caption) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

}  // namespace

QWidget* TfrmMain::BuildExtendedTab() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("TabSheetExtended"));
  auto* column = new QVBoxLayout(tab);
  column->setContentsMargins(4, 2, 4, 2);
  column->setSpacing(0);
  chkFullId3v2 = RuleBox(tab, "chkFullId3v2", "大きなID3v2タグも検出する");
  chkSplitXing = RuleBox(tab, "chkSplitXing", "Xing/Infoヘッダで曲を分ける");
  chkWavAnyChunk = RuleBox(tab, "chkWavAnyChunk", "fmt 以外のチャンクで始まるWAVEも検出する");
  chkOggWhole =
      RuleBox(tab, "chkOggWhole", "BOSからEOSまでそろったOggは最小ページ数によらず抽出する");
  column->addWidget(chkFullId3v2);
  column->addWidget(chkSplitXing);
  column->addWidget(chkWavAnyChunk);
  column->addWidget(chkOggWhole);
  column->addStretch(1);
  return tab;
}
