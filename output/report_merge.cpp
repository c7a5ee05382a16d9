#include "output/report_merge.h"

#include <algorithm>

#include "output/dfxml_report.h"

namespace {

constexpr std::string_view kCreatorEnd = "  </creator>\n", kSourceBegin = "  <source>\n",
                           kSourceEnd = "  </source>\n", kEnd = "</dfxml>\n";

}  // namespace

bool SplitReport(std::string_view text, ReportParts& parts) {
  parts = {};
  if (!text.starts_with("<?xml ") || !text.ends_with(kEnd) ||
      text.find("<program>zandrel</program>") == std::string_view::npos)
    return false;
  size_t at = text.find(kCreatorEnd);
  if (at == std::string_view::npos) return false;
  at += kCreatorEnd.size();
  while (text.substr(at).starts_with(kSourceBegin)) {
    const size_t end = text.find(kSourceEnd, at);
    if (end == std::string_view::npos) return false;
    parts.sources.emplace_back(text.substr(at, end + kSourceEnd.size() - at));
    at = end + kSourceEnd.size();
  }
  parts.body = text.substr(at, text.size() - kEnd.size() - at);
  return true;
}

std::string MergeReports(std::string_view head,
                         const std::vector<std::pair<std::string, ReportParts>>& reports) {
  std::string out(head.substr(0, head.size() - std::min(head.size(), kEnd.size())));
  std::vector<std::string_view> sources;
  for (const auto& [name, parts] : reports) {
    for (const std::string& source : parts.sources) {
      if (std::find(sources.begin(), sources.end(), source) != sources.end()) continue;
      sources.push_back(source);
      out += source;
    }
  }
  for (const auto& [name, parts] : reports)
    out += "  <!-- " + ReportComment("from " + name) + " -->\n" + parts.body;
  return out + std::string(kEnd);
}
