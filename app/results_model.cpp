#include "app/results_model.h"

#include <QStringList>

#include "app/text_conv.h"

namespace {

// How long reports wait before they are shown as rows.
constexpr int kBatchMs = 200;

const char* const kCaptions[ResultsModel::ColumnCount] = {
    QT_TRANSLATE_NOOP("ResultsModel", "入力ファイル"),
    QT_TRANSLATE_NOOP("ResultsModel", "番号"),
    QT_TRANSLATE_NOOP("ResultsModel", "形式"),
    QT_TRANSLATE_NOOP("ResultsModel", "位置"),
    QT_TRANSLATE_NOOP("ResultsModel", "長さ"),
    QT_TRANSLATE_NOOP("ResultsModel", "時間"),
    QT_TRANSLATE_NOOP("ResultsModel", "周波数"),
    QT_TRANSLATE_NOOP("ResultsModel", "チャンネル"),
    QT_TRANSLATE_NOOP("ResultsModel", "出力ファイル"),
    QT_TRANSLATE_NOOP("ResultsModel", "状態")};

// A number a format does not measure is negative: no text.
QString Measured(int64_t value) { return value < 0 ? QString() : QString::number(value); }

QString StatusText(const StreamReport& report) {
  switch (report.status) {
    case StreamReport::Status::Written:
      return ResultsModel::tr("書き出し済み");
    case StreamReport::Status::DryRun:
      return ResultsModel::tr("書き出しなし");
    case StreamReport::Status::Failed:
      break;
  }
  return ResultsModel::tr("失敗: ") + ToQ(report.error);
}

// The status, marked when the stream claims more than its output holds.
QString MarkedStatusText(const StreamReport& report) {
  if (!report.truncated) return StatusText(report);
  //: After the status of a stream whose file claims more than the input held.
  return StatusText(report) + ResultsModel::tr("（途中まで）");
}

QVariant SortKey(const StreamReport& report, int column) {
  switch (column) {
    case ResultsModel::Number:
      return QVariant::fromValue<qlonglong>(report.number);
    case ResultsModel::Offset:
      return QVariant::fromValue<qlonglong>(report.offset);
    case ResultsModel::Length:
      return QVariant::fromValue<qlonglong>(report.length);
    case ResultsModel::Seconds:
      return report.seconds;
    case ResultsModel::SampleRate:
      return QVariant::fromValue<qlonglong>(report.sampleRateHz);
    case ResultsModel::Channels:
      return QVariant::fromValue<qlonglong>(report.channels);
    default:
      return ResultsModel::text(report, column);
  }
}

}  // namespace

ResultsModel::ResultsModel(QObject* parent) : QAbstractTableModel(parent) {
  batch_.setSingleShot(true);
  batch_.setInterval(kBatchMs);
  connect(&batch_, &QTimer::timeout, this, &ResultsModel::flush);
}

void ResultsModel::add(const StreamReport& report) {
  pending_.push_back(report);
  if (!batch_.isActive()) batch_.start();
}

void ResultsModel::flush() {
  batch_.stop();
  if (pending_.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(pending_.size()) - 1);
  for (StreamReport& report : pending_) {
    rowByStream_.insert(key(report.input, report.format, report.number),
                        static_cast<int>(rows_.size()));
    rows_.push_back(std::move(report));
  }
  pending_.clear();
  endInsertRows();
}

void ResultsModel::clear() {
  batch_.stop();
  pending_.clear();
  if (rows_.empty()) return;
  beginResetModel();
  rows_.clear();
  rowByStream_.clear();
  endResetModel();
}

int ResultsModel::rowOf(const std::string& input, const std::string& format, int64_t number) {
  flush();
  return rowByStream_.value(key(input, format, number), -1);
}

QString ResultsModel::key(const std::string& input, const std::string& format, int64_t number) {
  return QString::number(number) + QLatin1Char('/') + ToQ(format) + QLatin1Char('/') + ToQ(input);
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QString ResultsModel::text(const StreamReport& report, int column) {
  switch (column) {
    case Input:
      return ToQ(report.input);
    case Number:
      return Measured(report.number);
    case Format:
      return ToQ(report.format);
    case Offset:
      return Measured(report.offset);
    case Length:
      return Measured(report.length);
    case Seconds:
      return report.seconds < 0 ? QString() : QString::number(report.seconds, 'f', 1);
    case SampleRate:
      return Measured(report.sampleRateHz);
    case Channels:
      return Measured(report.channels);
    case Output:
      return ToQ(report.output);
    case Status:
      return MarkedStatusText(report);
  }
  return {};
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const StreamReport& report = rows_[static_cast<size_t>(index.row())];
  if (role == Qt::DisplayRole) return text(report, index.column());
  if (role == SortRole) return SortKey(report, index.column());
  const bool numeric = index.column() != Input && index.column() != Format &&
                       index.column() != Output && index.column() != Status;
  if (role == Qt::TextAlignmentRole && numeric)
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= ColumnCount)
    return {};
  return tr(kCaptions[section]);
}

QString CsvField(const QString& field) {
  if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) &&
      !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
    return field;
  QString quoted = field;
  quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString ResultsModel::csv(const std::vector<int>& rows) const {
  QStringList fields;
  for (const char* caption : kCaptions) fields << CsvField(tr(caption));
  QString out = fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
  for (int row : rows) {
    fields.clear();
    for (int column = 0; column < ColumnCount; ++column)
      fields << CsvField(text(report(row), column));
    out += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
  }
  return out;
}
