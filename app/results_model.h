// The table of results: one row a stream the passes of a run found, taken
// from the stream reports the run already gives the window. Rows come in
// batches (at most a few a second), so that a run of many streams does not
// lay out the table once a stream; the rows stay across the inputs of a run
// and go when the next run starts. A row is held compactly: its numbers, its
// input and format as indexes into lists of the names, its output's name in
// one buffer with the others'. A bank's row has its members as child rows.
#pragma once

#include <QAbstractItemModel>
#include <QTimer>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "carve/engine/sink.h"

class ResultsModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  enum Column {
    Input,
    Number,
    Format,
    Offset,
    Length,
    Seconds,
    SampleRate,
    Channels,
    Output,
    Status,
    Md5,  // the digests, in the order of kHashNames (output/digests.h)
    Sha1,
    Sha256,
    ColumnCount
  };
  // The role by which the columns sort: numbers as numbers.
  static constexpr int SortRole = Qt::UserRole;

  explicit ResultsModel(QObject* parent = nullptr);

  // Takes a stream's report; it shows at the next batch.
  void add(const StreamReport& report);
  // Shows the reports taken since the last batch now.
  void flush();
  // Empties the table, the reports not yet shown included.
  void clear();

  // The report of a row shown, by its row in this model: the fields the
  // table shows, its status and its failure.
  StreamReport report(int row) const;
  // The row of the stream `number` of `input`, or -1; flushes first.
  int rowOf(const std::string& input, const std::string& format, int64_t number);

  // The digests the run computes (HashKind bits): their columns show, the
  // others are hidden and left out of the CSV.
  void setHashes(unsigned kinds) { hashes_ = kinds; }
  unsigned hashes() const { return hashes_; }
  // Whether column `column` is one of a digest the run does not compute.
  bool columnHidden(int column) const;

  // Streams and members as CSV (results_csv.cpp): a line of column
  // captions, then one line an item, each field quoted where it holds a
  // comma, a quote or a line break. An item is a model's row and a member's
  // index, or -1 for the stream itself; a member's line says its bank.
  QString csv(const std::vector<std::pair<int, int>>& items) const;

  // The members of row `row`, as its child rows show them.
  int memberCount(int row) const;
  const Member& member(int row, int index) const;
  // The model's row of a stream's row, or of the bank of a member's row;
  // -1 for none. `member`: the member's index among the bank's, else -1.
  int rowOfIndex(const QModelIndex& index, int* member = nullptr) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // The text of a field as the table shows it.
  static QString text(const StreamReport& report, int column);
  // The text of a field of a member's row; `bankOffset`: where its bank is.
  static QString memberText(const Member& member, int64_t bankOffset, int column);
  // The memory the rows shown take: their buffers as allocated.
  size_t bytesHeld() const;

 private:
  struct Row {
    int64_t number, offset, length, sampleRateHz, channels;
    int64_t outputOffset;  // where the output begins in the input
    double seconds;
    uint64_t outputEnd;  // where the output's name ends in outputs_
    uint32_t input;      // in inputs_
    int32_t error;       // in errors_; -1: none
    uint8_t format;      // in formats_
    StreamReport::Status status;
    bool truncated;                 // the stream claims more than its output holds
    uint32_t firstMember, members;  // in members_
    int32_t digests;                // in digests_; -1: none
  };
  // The index of `name` in `names`, added when new.
  static uint32_t IndexOf(std::vector<std::string>& names,
                          std::unordered_map<std::string, uint32_t>& index,
                          const std::string& name);
  void hold(const StreamReport& report);
  // The report of row `index` with the names of column `column` only (-1:
  // every one).
  StreamReport fields(int index, int column) const;

  QVariant memberData(const QModelIndex& index, int role) const;
  // The members and the digests of `row` into `report`.
  void lists(const Row& row, StreamReport& report) const;

  std::vector<Row> rows_;
  std::vector<Member> members_;
  std::vector<Digests> digests_;
  std::vector<StreamReport> pending_;
  std::vector<std::string> inputs_, formats_, errors_;
  std::unordered_map<std::string, uint32_t> inputIndex_, formatIndex_;
  std::string outputs_;
  QTimer batch_;
  unsigned hashes_ = 0;
};

// One field of CSV: as it is, or quoted with its quotes doubled.
QString CsvField(const QString& field);
