// Copy as CSV: the streams of the table and the members of its banks, one
// line each, with the captions of the columns shown, then what each line is
// (a stream or a member), a member's name and the output of its bank.
#include <QStringList>

#include "app/results_model.h"
#include "app/text_conv.h"

namespace {

// The columns after the table's own, which only the CSV has.
const char* const kCsvCaptions[] = {
    //: In Copy as CSV: whether a line is a stream or a member of a bank.
    QT_TRANSLATE_NOOP("ResultsModel", "種類"),
    //: In Copy as CSV: the name a bank gives its member.
    QT_TRANSLATE_NOOP("ResultsModel", "名前"),
    //: In Copy as CSV: the output of a member's bank.
    QT_TRANSLATE_NOOP("ResultsModel", "バンク")};

}  // namespace

QString CsvField(const QString& field) {
  if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) &&
      !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
    return field;
  QString quoted = field;
  quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString ResultsModel::csv(const std::vector<std::pair<int, int>>& items) const {
  QStringList fields;
  for (int column = 0; column < ColumnCount; ++column) {
    if (!columnHidden(column)) fields << CsvField(headerData(column, Qt::Horizontal).toString());
  }
  for (const char* caption : kCsvCaptions) fields << CsvField(tr(caption));
  QString out = fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
  for (const auto& [row, index] : items) {
    const StreamReport bank = report(row);
    fields.clear();
    for (int column = 0; column < ColumnCount; ++column) {
      if (columnHidden(column)) continue;
      QString field;
      if (index < 0)
        field = text(bank, column);
      else if (column == Input)  // the table shows the member's index and name there
        field = ToQ(bank.input);
      else
        field = memberText(member(row, index), bank.offset, column);
      fields << CsvField(field);
    }
    // The kind is a word for scripts, as the JSON Lines' are: in every language.
    if (index < 0) {
      fields << QStringLiteral("stream") << QString() << QString();
    } else {
      fields << QStringLiteral("member") << CsvField(ToQ(member(row, index).name))
             << CsvField(ToQ(bank.output));
    }
    out += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
  }
  return out;
}
