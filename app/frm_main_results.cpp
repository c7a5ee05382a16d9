// frmMain's tab of results, where the window's host puts the reports of a
// run's passes and streams.
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/frm_main.h"
#include "app/results_view.h"

namespace {

// The height of the upper panel (tabs, Execute and the bar) of frmMain.
constexpr int kPanelHeight = 145;

}  // namespace

QWidget* TfrmMain::BuildResultsTab() {
  auto* tab = new QWidget;
  tab->setObjectName(QStringLiteral("TabSheetResults"));
  auto* column = new QVBoxLayout(tab);
  column->setContentsMargins(0, 0, 0, 0);
  FResults = new ResultsView(FSeam, tab);
  column->addWidget(FResults);
  // The upper panel keeps its height for the classic tabs; on this tab it
  // takes three fifths of the window, so that the table shows its rows.
  connect(PageControl1, &QTabWidget::currentChanged, this, [this, tab](int index) {
    auto* panel = findChild<QWidget*>(QStringLiteral("Panel1"));
    if (panel == nullptr) return;
    const bool results = PageControl1->widget(index) == tab;
    panel->setFixedHeight(results ? std::max(kPanelHeight, height() * 3 / 5) : kPanelHeight);
  });
  return tab;
}
