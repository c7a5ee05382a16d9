#include "app/log_model.h"

#include <algorithm>

LogModel::LogModel(QObject* parent, size_t mostLines, size_t mostBytes)
    : QAbstractListModel(parent),
      mostLines_(std::max<size_t>(mostLines, 1)),
      mostBytes_(std::min<size_t>(std::max<size_t>(mostBytes, 1), UINT32_MAX / 2)) {}

void LogModel::append(const std::string& line) {
  const int row = static_cast<int>(ends_.size());
  beginInsertRows(QModelIndex(), row, row);
  // A line longer than all the log may hold keeps its first bytes.
  bytes_.append(line, 0, std::min(line.size(), mostBytes_));
  ends_.push_back(static_cast<uint32_t>(bytes_.size()));
  endInsertRows();
  if (ends_.size() > mostLines_ || bytes_.size() > mostBytes_) dropOldest();
}

void LogModel::dropOldest() {
  // Down to seven eighths of either bound, so that the log is not moved at
  // every line.
  const size_t keepLines = mostLines_ - mostLines_ / 8;
  const size_t keepBytes = mostBytes_ - mostBytes_ / 8;
  size_t drop = ends_.size() > keepLines ? ends_.size() - keepLines : 0;
  const auto bytesLeft = [&] { return bytes_.size() - (drop == 0 ? 0 : ends_[drop - 1]); };
  while (drop < ends_.size() && bytesLeft() > keepBytes) ++drop;
  if (drop == 0) return;
  const uint32_t cut = ends_[drop - 1];
  beginRemoveRows(QModelIndex(), 0, static_cast<int>(drop - 1));
  bytes_.erase(0, cut);
  ends_.erase(ends_.begin(), ends_.begin() + static_cast<std::ptrdiff_t>(drop));
  for (uint32_t& end : ends_) end -= cut;
  endRemoveRows();
}

void LogModel::clear() {
  beginResetModel();
  std::string().swap(bytes_);
  std::vector<uint32_t>().swap(ends_);
  endResetModel();
}

QString LogModel::line(int row) const {
  if (row < 0 || static_cast<size_t>(row) >= ends_.size()) return {};
  const uint32_t begin = row == 0 ? 0 : ends_[static_cast<size_t>(row) - 1];
  return QString::fromUtf8(bytes_.data() + begin,
                           static_cast<qsizetype>(ends_[static_cast<size_t>(row)] - begin));
}

std::string LogModel::text() const {
  std::string all;
  all.reserve(bytes_.size() + ends_.size());
  uint32_t begin = 0;
  for (uint32_t end : ends_) {
    all.append(bytes_, begin, end - begin);
    all += '\n';
    begin = end;
  }
  return all;
}

int LogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(ends_.size());
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  return line(index.row());
}
