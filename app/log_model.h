// The lines of the log, held compactly: the bytes of every line one after
// the other in one buffer, and where each ends; a line becomes text only
// while a view shows it. Lines come in at once and show as rows at the next
// flush(), so that a run of many streams does not insert them one by one.
// The log keeps its newest lines: beyond `mostLines` lines or `mostBytes`
// bytes of text the oldest go (at once, shown or not), an eighth of the log
// at a time.
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

  // Holds a line (UTF-8); it shows as a row at the next flush().
  void append(const std::string& line);
  // Shows the lines appended since the last flush, then lets the oldest go
  // when the log holds too many.
  void flush();
  // Lets every line go.
  void clear();
  // Lines held, shown or not.
  size_t lines() const { return ends_.size(); }
  // The memory the lines take: their buffers as allocated.
  size_t bytesHeld() const { return bytes_.capacity() + ends_.capacity() * sizeof(ends_[0]); }
  QString line(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  void dropOldest();

  size_t mostLines_;
  size_t mostBytes_;
  std::string bytes_;
  std::vector<uint32_t> ends_;  // where each line ends in bytes_
  size_t shown_ = 0;            // lines the views know as rows
};
