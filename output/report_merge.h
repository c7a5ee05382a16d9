// Reports of several runs made one (zandrel-cli merge-reports): each image
// carved by a task of its own, on one machine or many, and one report for
// the case. The reports are this program's own (output/dfxml_report.h),
// read as it writes them: no XML parser is needed to take them apart.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a report holds past its creator: its <source> elements, each whole,
// and what follows them (its file objects and notes), without the end tag.
struct ReportParts {
  std::vector<std::string> sources;
  std::string body;
};

// Takes a report this program wrote apart; false for any other text.
bool SplitReport(std::string_view text, ReportParts& parts);

// One report of `reports` (each a name and its parts), under the creator of
// `head` (a report of no source and no file, DfxmlReport::text()): every
// source once, in order, then each report's objects after a note naming it.
std::string MergeReports(std::string_view head,
                         const std::vector<std::pair<std::string, ReportParts>>& reports);
