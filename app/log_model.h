// The lines of the log, held compactly: the bytes of every line one after
// the other in one buffer, and where each ends; a line becomes text only
// while a view shows it. The log keeps its newest lines: beyond `mostLines`
// lines or `mostBytes` bytes of text the oldest go, an eighth of the log at
// a time.
#pragma once

#include <QAbstractListModel>
#include <cstdint>
#include <string>
#include <vector>

class LogModel : public QAbstractListModel {
  Q_OBJECT

 public:
  static constexpr size_t kMostLines = 200000;
  static constexpr size_t kMostBytes = size_t{32} << 20;

  explicit LogModel(QObject* parent = nullptr, size_t mostLines = kMostLines,
                    size_t mostBytes = kMostBytes);

  // Adds a line (UTF-8) as the last row, letting the oldest go when the log
  // holds too many.
  void append(const std::string& line);
  // Lets every line go.
  void clear();
  // The memory the lines take: their buffers as allocated.
  size_t bytesHeld() const { return bytes_.capacity() + ends_.capacity() * sizeof(ends_[0]); }
  QString line(int row) const;
  // Every line as it is held, each ended by '\n'.
  std::string text() const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  void dropOldest();

  size_t mostLines_;
  size_t mostBytes_;
  std::string bytes_;
  std::vector<uint32_t> ends_;  // where each line ends in bytes_
};
