#include "output/dfxml_report.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "platform/output_file.h"

namespace {

// The length of the UTF-8 sequence a byte begins: 1 for ASCII, 0 for a
// byte that begins none (a continuation byte, 0xC0, 0xC1, 0xF5 and above).
size_t LeadLength(unsigned char c) {
  if (c < 0x80) return 1;
  if (c < 0xC2 || c > 0xF4) return 0;
  return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
}

// The length of the UTF-8 character at `s[i]`, 0 when none begins there
// (a stray, overlong or cut-short sequence, a surrogate, past U+10FFFF).
size_t Utf8Length(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const size_t n = LeadLength(b(i));
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
  }
  // The second byte's bounds after E0, ED, F0 and F4.
  const unsigned char c = b(i), d = b(i + std::min<size_t>(n - 1, 1));
  const bool outside = (c == 0xE0 && d < 0xA0) || (c == 0xED && d >= 0xA0) ||
                       (c == 0xF0 && d < 0x90) || (c == 0xF4 && d >= 0x90);
  return outside ? 0 : n;
}

std::string Escaped(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Element(const char* name, std::string_view text) {
  return std::string("<") + name + ">" + Escaped(text) + "</" + name + ">";
}

std::string FileObject(const ReportFile& f) {
  std::string x = "  <fileobject>\n    " + Element("filename", ReportName(f.name)) +
                  "\n    <name_type>r</name_type>\n    " +
                  Element("filesize", std::to_string(f.size)) + "\n";
  if (!f.note.empty()) x += "    <!-- " + ReportComment(f.note) + " -->\n";
  x += "    <byte_runs>\n      <byte_run offset=\"" + std::to_string(f.fileOffset) +
       "\" img_offset=\"" + std::to_string(f.imageOffset) + "\" len=\"" + std::to_string(f.length) +
       "\"/>\n    </byte_runs>\n";
  for (size_t i = 0; i < kHashNames.size(); ++i) {
    if (f.digests[i].empty()) continue;
    x += "    <hashdigest type=\"" + std::string(kHashNames[i]) + "\">" + f.digests[i] +
         "</hashdigest>\n";
  }
  return x + "  </fileobject>\n";
}

}  // namespace

std::string ReportComment(std::string_view s) {
  std::string out = ReportName(s);
  for (size_t i = 0; (i = out.find('-', i)) != std::string::npos; ++i) {
    if (i + 1 == out.size() || out[i + 1] == '-') out.insert(i + 1, " ");
  }
  return out;
}

std::string ReportName(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    const size_t n = Utf8Length(bytes, i);
    if (n > 1 || (n == 1 && c >= 0x20 && c != 0x7F && c != '%')) {
      out.append(bytes.substr(i, n));
      i += n;
      continue;
    }
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 15];
    ++i;
  }
  return out;
}

DfxmlReport::DfxmlReport(std::string version, std::string commandLine)
    : version_(std::move(version)), commandLine_(std::move(commandLine)) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  char text[32];
  if (gmtime_r(&now, &utc) != nullptr && std::strftime(text, sizeof text, "%FT%TZ", &utc) > 0)
    startTime_ = text;
}

void DfxmlReport::addSource(const std::vector<std::string>& segments, int64_t size) {
  if (!segments.empty() && !hasSource(segments.front())) sources_.emplace_back(segments, size);
}

bool DfxmlReport::hasSource(const std::string& image) const {
  for (const auto& source : sources_) {
    if (source.first.front() == image) return true;
  }
  return false;
}

std::string DfxmlReport::text() const {
  std::string x =
      "<?xml version='1.0' encoding='UTF-8'?>\n"
      "<dfxml xmlns=\"http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML\" "
      "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" version=\"1.0\">\n"
      "  <metadata>\n    <dc:type>Carve Report</dc:type>\n  </metadata>\n"
      "  <creator>\n    <program>zandrel</program>\n    " +
      Element("version", version_) + "\n    <execution_environment>\n      " +
      Element("command_line", ReportName(commandLine_)) + "\n";
  if (!startTime_.empty()) x += "      " + Element("start_time", startTime_) + "\n";
  x += "    </execution_environment>\n  </creator>\n";
  for (const auto& [segments, size] : sources_) {
    x += "  <source>\n";
    for (const std::string& name : segments)
      x += "    " + Element("image_filename", ReportName(name)) + "\n";
    x += "    " + Element("image_size", std::to_string(size)) + "\n  </source>\n";
  }
  for (const ReportFile& f : files_) {
    x += f.written ? FileObject(f) : "  <!-- " + ReportComment(f.note) + " -->\n";
  }
  return x + "</dfxml>\n";
}

void DfxmlReport::write(const std::string& path, Env& env) const {
  OutputFile out = OutputFile::CreateOutput(path, OutputMode::Keep, env);
  const std::string x = text();
  out.write(x.data(), static_cast<int64_t>(x.size()));
  out.commit();
}
