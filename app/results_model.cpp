#include "app/results_model.h"

#include <QStringList>

#include "app/text_conv.h"

namespace {

// How long reports wait before they are shown as rows.
constexpr int kBatchMs = 200;

const char* const kCaptions[ResultsModel::ColumnCount] = {
    QT_TRANSLATE_NOOP("ResultsModel", "入力ファイル"), QT_TRANSLATE_NOOP("ResultsModel", "番号"),
    QT_TRANSLATE_NOOP("ResultsModel", "形式"), QT_TRANSLATE_NOOP("ResultsModel", "位置"),
    QT_TRANSLATE_NOOP("ResultsModel", "長さ"), QT_TRANSLATE_NOOP("ResultsModel", "時間"),
    QT_TRANSLATE_NOOP("ResultsModel", "周波数"), QT_TRANSLATE_NOOP("ResultsModel", "チャンネル"),
    QT_TRANSLATE_NOOP("ResultsModel", "出力ファイル"), QT_TRANSLATE_NOOP("ResultsModel", "状態"),
    // The digests' names, in every language.
    "MD5", "SHA-1", "SHA-256"};

// A number a format does not measure is negative: no text.
QString Measured(int64_t value) { return value < 0 ? QString() : QString::number(value); }

// As the log writes an offset: "$" and at least eight upper-case hex digits.
QString Hex(int64_t offset) {
  return offset < 0 ? QString()
                    : QStringLiteral("$%1")
                          .arg(static_cast<qulonglong>(offset), 8, 16, QLatin1Char('0'))
                          .toUpper();
}

// A member's seconds, or -1 where its bank does not give them.
double MemberSeconds(const Member& m) {
  return m.samples >= 0 && m.rate > 0 ? static_cast<double>(m.samples) / m.rate : -1;
}

QString SecondsText(double seconds) {
  return seconds < 0 ? QString() : QString::number(seconds, 'f', 1);
}

bool Numeric(int column) {
  return column != ResultsModel::Input && column != ResultsModel::Format &&
         column != ResultsModel::Output && column < ResultsModel::Status;
}

QString StatusText(const StreamReport& report) {
  switch (report.status) {
    case StreamReport::Status::Written:
      return ResultsModel::tr("書き出し済み");
    case StreamReport::Status::DryRun:
      return ResultsModel::tr("書き出しなし");
    case StreamReport::Status::Failed:
      break;
  }
  return ResultsModel::tr("失敗: ") + ToQ(report.errorShown);
}

// The status, marked when the stream claims more than its output holds.
QString MarkedStatusText(const StreamReport& report) {
  if (!report.truncated) return StatusText(report);
  //: After the status of a stream whose file claims more than the input held.
  return StatusText(report) + ResultsModel::tr("（途中まで）");
}

// The status, with the count of a bank's members.
QString StatusWithMembers(const StreamReport& report) {
  if (report.members.empty()) return MarkedStatusText(report);
  //: After the status of a bank: how many members it holds.
  return MarkedStatusText(report) +
         ResultsModel::tr("（メンバー%1個）").arg(static_cast<qulonglong>(report.members.size()));
}

QVariant MemberSortKey(const Member& m, int64_t bankOffset, int column) {
  switch (column) {
    case ResultsModel::Number:
      return QVariant::fromValue<qlonglong>(m.index);
    case ResultsModel::Offset:
      return QVariant::fromValue<qlonglong>(bankOffset + m.offset);
    case ResultsModel::Length:
      return QVariant::fromValue<qlonglong>(m.length);
    case ResultsModel::Seconds:
      return MemberSeconds(m);
    case ResultsModel::SampleRate:
      return QVariant::fromValue<qlonglong>(m.rate);
    case ResultsModel::Channels:
      return QVariant::fromValue<qlonglong>(m.channels);
    default:
      return ResultsModel::memberText(m, bankOffset, column);
  }
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
      return report.facts.seconds;
    case ResultsModel::SampleRate:
      return QVariant::fromValue<qlonglong>(report.facts.sampleRateHz);
    case ResultsModel::Channels:
      return QVariant::fromValue<qlonglong>(report.facts.channels);
    default:
      return ResultsModel::text(report, column);
  }
}

}  // namespace

ResultsModel::ResultsModel(QObject* parent) : QAbstractItemModel(parent) {
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
  for (const StreamReport& report : pending_) hold(report);
  pending_.clear();
  endInsertRows();
}

uint32_t ResultsModel::IndexOf(std::vector<std::string>& names,
                               std::unordered_map<std::string, uint32_t>& index,
                               const std::string& name) {
  // The streams of one input come together: the last name first.
  if (!names.empty() && names.back() == name) return static_cast<uint32_t>(names.size() - 1);
  const auto [at, added] = index.try_emplace(name, static_cast<uint32_t>(names.size()));
  if (added) names.push_back(name);
  return at->second;
}

void ResultsModel::hold(const StreamReport& report) {
  Row row{};
  row.number = report.number;
  row.offset = report.offset;
  row.length = report.length;
  row.outputOffset = report.outputOffset;
  row.sampleRateHz = report.facts.sampleRateHz;
  row.channels = report.facts.channels;
  row.seconds = report.facts.seconds;
  outputs_ += report.output;
  row.outputEnd = outputs_.size();
  row.input = IndexOf(inputs_, inputIndex_, report.input);
  row.format = static_cast<uint8_t>(IndexOf(formats_, formatIndex_, report.format));
  row.error = -1;
  // The table keeps the text it shows.
  const std::string& error = report.errorShown.empty() ? report.error : report.errorShown;
  if (!error.empty()) {
    row.error = static_cast<int32_t>(errors_.size());
    errors_.push_back(error);
  }
  row.status = report.status;
  row.truncated = report.truncated;
  row.firstMember = static_cast<uint32_t>(members_.size());
  row.members = static_cast<uint32_t>(report.members.size());
  row.digests = -1;
  if (!report.digests.empty()) {
    row.digests = static_cast<int32_t>(digests_.size());
    digests_.push_back(report.digests);
  }
  // A bank lasts as long as its members together, where they say.
  double total = 0;
  bool measured = false;
  for (const Member& m : report.members) {
    members_.push_back(m);
    if (MemberSeconds(m) < 0) continue;
    total += MemberSeconds(m);
    measured = true;
  }
  if (measured) row.seconds = total;
  rows_.push_back(row);
}

StreamReport ResultsModel::report(int index) const { return fields(index, -1); }

StreamReport ResultsModel::fields(int index, int column) const {
  const Row& row = rows_[static_cast<size_t>(index)];
  const bool all = column < 0;
  StreamReport report;
  if (all || column == Input) report.input = inputs_[row.input];
  if (all || column == Format) report.format = formats_[row.format];
  report.number = row.number;
  report.offset = row.offset;
  report.length = row.length;
  report.outputOffset = row.outputOffset;
  report.facts.sampleRateHz = row.sampleRateHz;
  report.facts.channels = row.channels;
  report.facts.seconds = row.seconds;
  if (all || column == Output) {
    const uint64_t begin = index == 0 ? 0 : rows_[static_cast<size_t>(index) - 1].outputEnd;
    report.output = outputs_.substr(begin, row.outputEnd - begin);
  }
  if (row.error >= 0 && (all || column == Status))
    report.error = report.errorShown = errors_[static_cast<size_t>(row.error)];
  report.status = row.status;
  report.truncated = row.truncated;
  if (all || column >= Status) lists(row, report);
  return report;
}

void ResultsModel::lists(const Row& row, StreamReport& report) const {
  const auto first = members_.begin() + row.firstMember;
  report.members.assign(first, first + row.members);
  if (row.digests >= 0) report.digests = digests_[static_cast<size_t>(row.digests)];
}

size_t ResultsModel::bytesHeld() const {
  size_t names = 0;
  for (const auto* list : {&inputs_, &formats_, &errors_}) {
    for (const std::string& name : *list) names += sizeof(name) + name.capacity();
  }
  for (const Member& m : members_) names += m.name.capacity() + m.codec.capacity();
  for (const Digests& d : digests_)
    names += d.md5.capacity() + d.sha1.capacity() + d.sha256.capacity();
  return rows_.capacity() * sizeof(Row) + members_.capacity() * sizeof(Member) +
         digests_.capacity() * sizeof(Digests) + outputs_.capacity() + names;
}

void ResultsModel::clear() {
  batch_.stop();
  pending_.clear();
  if (rows_.empty()) return;
  beginResetModel();
  std::vector<Row>().swap(rows_);
  std::vector<Member>().swap(members_);
  std::vector<Digests>().swap(digests_);
  std::string().swap(outputs_);
  inputs_.clear();
  formats_.clear();
  errors_.clear();
  inputIndex_.clear();
  formatIndex_.clear();
  endResetModel();
}

int ResultsModel::rowOf(const std::string& input, const std::string& format, int64_t number) {
  flush();
  // A look through the rows' numbers: a click's worth, and no index to hold.
  for (size_t i = 0; i < rows_.size(); ++i) {
    const Row& row = rows_[i];
    if (row.number == number && formats_[row.format] == format && inputs_[row.input] == input)
      return static_cast<int>(i);
  }
  return -1;
}

// An index's internal id: 0 for a stream's row, its bank's row + 1 for a
// member's.
QModelIndex ResultsModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= ColumnCount || row >= rowCount(parent)) return {};
  return createIndex(row, column, parent.isValid() ? quintptr(parent.row()) + 1 : quintptr(0));
}

QModelIndex ResultsModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == 0) return {};
  return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr(0));
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(rows_.size());
  if (parent.internalId() != 0 || parent.column() != 0) return 0;
  return memberCount(parent.row());
}

int ResultsModel::columnCount(const QModelIndex& /*parent*/) const { return ColumnCount; }

int ResultsModel::memberCount(int row) const {
  return row < 0 || row >= static_cast<int>(rows_.size())
             ? 0
             : static_cast<int>(rows_[static_cast<size_t>(row)].members);
}

const Member& ResultsModel::member(int row, int index) const {
  return members_[rows_[static_cast<size_t>(row)].firstMember + static_cast<size_t>(index)];
}

int ResultsModel::rowOfIndex(const QModelIndex& index, int* member) const {
  if (member != nullptr) *member = -1;
  if (!index.isValid()) return -1;
  if (index.internalId() == 0) return index.row();
  if (member != nullptr) *member = index.row();
  return static_cast<int>(index.internalId() - 1);
}

QString ResultsModel::memberText(const Member& m, int64_t bankOffset, int column) {
  switch (column) {
    case Input:
      return QStringLiteral("%1").arg(static_cast<qlonglong>(m.index), 3, 10, QLatin1Char('0')) +
             (m.name.empty() ? QString() : QStringLiteral(" ") + ToQ(m.name));
    case Number:
      return Measured(m.index);
    case Format:
      return ToQ(m.codec);
    case Offset:
      return Hex(bankOffset + m.offset);
    case Length:
      return Measured(m.length);
    case Seconds:
      return SecondsText(MemberSeconds(m));
    case SampleRate:
      return Measured(m.rate);
    case Channels:
      return Measured(m.channels);
    case Status:
      //: A member of a bank whose data is encrypted.
      return m.encrypted ? tr("暗号化") : QString();
  }
  return {};
}

QVariant ResultsModel::memberData(const QModelIndex& index, int role) const {
  const int bank = static_cast<int>(index.internalId() - 1);
  if (bank >= static_cast<int>(rows_.size()) || index.row() >= memberCount(bank)) return {};
  const Member& m = member(bank, index.row());
  const int64_t bankOffset = rows_[static_cast<size_t>(bank)].offset;
  if (role == Qt::DisplayRole) return memberText(m, bankOffset, index.column());
  if (role == SortRole) return MemberSortKey(m, bankOffset, index.column());
  if (role == Qt::ToolTipRole && index.column() == Offset) return Measured(bankOffset + m.offset);
  if (role == Qt::TextAlignmentRole && Numeric(index.column()))
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  return {};
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
      return Hex(report.offset);
    case Length:
      return Measured(report.length);
    case Seconds:
      return SecondsText(report.facts.seconds);
    case SampleRate:
      return Measured(report.facts.sampleRateHz);
    case Channels:
      return Measured(report.facts.channels);
    case Output:
      return ToQ(report.output);
    case Status:
      return StatusWithMembers(report);
    case Md5:
    case Sha1:
    case Sha256:
      return ToQ(report.digests[static_cast<size_t>(column - Md5)]);
  }
  return {};
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (index.internalId() != 0) return memberData(index, role);
  if (index.row() >= rowCount()) return {};
  const StreamReport report = fields(index.row(), index.column());
  if (role == Qt::DisplayRole) return text(report, index.column());
  if (role == SortRole) return SortKey(report, index.column());
  if (role == Qt::ToolTipRole && index.column() == Offset && report.offset >= 0)
    return Measured(report.offset);
  if (role == Qt::TextAlignmentRole && Numeric(index.column()))
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= ColumnCount)
    return {};
  return section >= Md5 ? QString::fromLatin1(kCaptions[section]) : tr(kCaptions[section]);
}

bool ResultsModel::columnHidden(int column) const {
  return column >= Md5 && column < ColumnCount && (hashes_ & (1U << (column - Md5))) == 0;
}
