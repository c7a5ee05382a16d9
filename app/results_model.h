// The table of results: one row a stream the passes of a run found, taken
// from the stream reports the run already gives the window. Rows come in
// batches (at most a few a second), so that a run of many streams does not
// lay out the table once a stream; the rows stay across the inputs of a run
// and go when the next run starts.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QTimer>
#include <cstdint>
#include <string>
#include <vector>

#include "carve/sink.h"

class ResultsModel : public QAbstractTableModel {
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

  // The report of a row shown, by its row in this model.
  const StreamReport& report(int row) const { return rows_[static_cast<size_t>(row)]; }
  // The row of the stream `number` of `input`, or -1; flushes first.
  int rowOf(const std::string& input, const std::string& format, int64_t number);

  // The rows as CSV: a line of column captions, then one line a row, each
  // field quoted where it holds a comma, a quote or a line break.
  QString csv(const std::vector<int>& rows) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // The text of a field as the table shows it.
  static QString text(const StreamReport& report, int column);

 private:
  static QString key(const std::string& input, const std::string& format, int64_t number);

  std::vector<StreamReport> rows_;
  std::vector<StreamReport> pending_;
  QHash<QString, int> rowByStream_;
  QTimer batch_;
};

// One field of CSV: as it is, or quoted with its quotes doubled.
QString CsvField(const QString& field);
