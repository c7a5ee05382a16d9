// frmMain and its tab of results: the tab, and the reports of a run's
// passes and streams taken into its table.
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/frm_main.h"
#include "app/results_model.h"
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

void TfrmMain::StreamDone(const StreamReport& report) {
  FResults->model()->add(report);
  DrawStream(report);
}

void TfrmMain::PassReported(const PassReport& report) {
  ResultsModel* model = FResults->model();
  if (report.stage == PassReport::Stage::Error) {
    // A failure of the input outside any stream: a row of its own.
    StreamReport failure;
    failure.input = report.input;
    failure.format = report.format;
    failure.number = failure.offset = failure.length = -1;
    failure.status = StreamReport::Status::Failed;
    failure.error = report.error;
    model->add(failure);
  }
  if (report.stage != PassReport::Stage::Begin) model->flush();
}
