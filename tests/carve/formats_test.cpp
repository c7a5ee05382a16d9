// The table of formats, and every format after the first three end to end:
// its committed encoder fixtures come out byte for byte wherever they lie,
// and nothing else is ever taken for a stream of it.
#include "carve/engine/formats.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <set>

#include "carve/engine/run_state.h"
#include "carve/engine/settings.h"
#include "i18n/language.h"
#include "platform/translate.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

// The formats that came after the first three.
std::span<const FormatRow> NewFormats() { return Formats().subspan(3); }

// The committed fixtures with the extension `ext`, in name order.
std::vector<std::string> FixturesWithExtension(std::string_view ext) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(ZANDREL_TEST_DATA)) {
    if (entry.path().extension() == "." + std::string(ext)) {
      names.push_back(entry.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The committed fixtures of a format: the files of tests/data with its
// extension, in name order.
std::vector<std::string> FixturesOf(const FormatRow& row) {
  return FixturesWithExtension(row.extension);
}

// Every extended rule on, as --extended turns them on.
void AllRules(ScriptHost& host) {
  host.fullId3v2 = host.splitXing = host.wavAnyChunk = host.oggWhole = true;
  host.oggCodecs = host.riffCodecs = true;
}

// The codec rules of the Ogg and WAVE commands: the extensions they name
// outputs by, and their fixtures (those with those extensions and the ones
// named here).
struct CodecRule {
  std::string_view command;
  std::vector<std::string_view> extensions;
  std::vector<std::string> more;
};
const CodecRule kCodecRules[] = {
    {"ogg", {"opus", "oga", "ogv"}, {}},
    {"wav",
     {"wem", "at3", "at9", "xma"},
     {"wave_rifx_s16_stereo.wav", "wave_extensible_s24_stereo.wav", "wave_msadpcm_mono.wav"}},
};

// The streams a codec fixture is made of: a chained Ogg file, its links.
std::vector<Bytes> PiecesOf(const std::string& name) {
  if (name == "opus_chained.opus") {
    return {Fixture("opus_mono_16k_input.opus"), Fixture("opus_stereo_44k_input.opus")};
  }
  return {Fixture(name)};
}

struct Carved {
  std::vector<std::string> lines;  // the stream lines
  std::map<std::string, Bytes> files;
};

// Runs the passes of `rows` in one read of `input` and collects the stream
// lines and the files written.
// (`minFrames` as low as it goes for the fixtures, some of which are short
// chains; the default when looking for false positives. `rules` turns on
// the rules of a run.)
Carved Carve(const Bytes& input, const std::vector<const FormatRow*>& rows, int minFrames = 2,
             const std::function<void(ScriptHost&)>& rules = {}) {
  TempDir dir;
  WriteBytes(dir / "in.bin", input);
  ScriptHost host;
  host.minFrames = minFrames;
  if (rules) rules(host);
  // Paced as the programs are, so that the walk passes over the candidates
  // the carvers rule out.
  host.pumpIntervalMs = 60000;
  // (The Ogg and WAVE commands replace the pattern's last three bytes.)
  ExtractFormats(host, rows, dir / "in.bin", dir / "out/%3.3d.mp3");
  Carved carved;
  for (const std::string& line : host.log) {
    if (line.starts_with("[")) carved.lines.push_back(line);
  }
  if (fs::exists(dir / "out")) {
    for (const auto& entry : fs::directory_iterator(dir / "out")) {
      carved.files[entry.path().filename().string()] = ReadBytes(entry.path());
    }
  }
  return carved;
}

std::vector<const FormatRow*> NewRows() {
  std::vector<const FormatRow*> rows;
  for (const FormatRow& row : NewFormats()) rows.push_back(&row);
  return rows;
}

// A ustar archive of the files: a 512-byte header each, the data padded to
// whole blocks, two empty blocks at the end.
// `fixture` twice, at odd offsets in random bytes of every value.
Bytes TwiceAtOddOffsets(const Bytes& fixture) {
  Bytes input = RandomBytes(1001, 7, true);
  Append(input, fixture);
  Append(input, RandomBytes(777, 8, true));
  Append(input, fixture);
  Append(input, RandomBytes(333, 9, true));
  return input;
}

Bytes Tar(const std::vector<std::pair<std::string, Bytes>>& files) {
  Bytes tar;
  for (const auto& [name, data] : files) {
    Bytes header(512, 0);
    std::copy(name.begin(), name.end(), header.begin());
    auto octal = [&](size_t at, size_t width, uint64_t value) {
      for (size_t i = width - 1; i-- > 0; value >>= 3) header[at + i] = '0' + (value & 7);
    };
    octal(100, 8, 0644);
    octal(108, 8, 0);
    octal(116, 8, 0);
    octal(124, 12, data.size());
    octal(136, 12, 0);
    std::fill(header.begin() + 148, header.begin() + 156, ' ');
    header[156] = '0';
    std::copy_n("ustar\00000", 8, header.begin() + 257);
    unsigned sum = 0;
    for (uint8_t b : header) sum += b;
    octal(148, 7, sum);
    Append(tar, header);
    Append(tar, data);
    tar.resize((tar.size() + 511) / 512 * 512, 0);
  }
  tar.resize(tar.size() + 1024, 0);
  return tar;
}

Bytes Gzip(const Bytes& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, data.size()) + 64);
  z.next_in = const_cast<Bytes::value_type*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::vector<Bytes> Values(const std::map<std::string, Bytes>& files) {
  std::vector<Bytes> values;
  for (const auto& [name, bytes] : files) values.push_back(bytes);
  return values;
}

TEST(FormatTable, RowsAreWholeAndDistinct) {
  std::set<std::string_view> commands, objects, extensions;
  ScriptHost host;
  for (const FormatRow& row : Formats()) {
    EXPECT_TRUE(commands.insert(row.command).second) << row.command;
    EXPECT_TRUE(extensions.insert(row.extension).second) << row.command;
    if (!row.menuText.empty()) {
      EXPECT_TRUE(objects.insert(row.menuObject).second) << row.command;
    }
    EXPECT_FALSE(row.usage.empty()) << row.command;
    EXPECT_NE(row.command, "all");
    EXPECT_NE(row.command, "crc");
    EXPECT_EQ(FindFormat(row.command), &row);
    ASSERT_NE(row.make, nullptr);
    EXPECT_FALSE(row.kind.empty()) << row.command;
    EXPECT_TRUE(row.opening.starts_with("から")) << row.command;
    ASSERT_NE(row.name, nullptr) << row.command;
    EXPECT_NE(row.make(host), nullptr) << row.command;
  }
  // The classic three keep their place, their entries and their names.
  ASSERT_GE(Formats().size(), 3u);
  EXPECT_EQ(Formats()[0].command, "mp3");
  EXPECT_TRUE(Formats()[0].menuText.empty());
  EXPECT_EQ(Formats()[1].menuObject, "OggVorbis1");
  EXPECT_EQ(Formats()[2].menuObject, "RiffWAV1");
  EXPECT_EQ(FindFormat("mp4"), nullptr);
}

// How a document names a format of the table.
enum class Naming {
  Synopsis,   // its command word in the synopsis "[mp3|ogg|...|crc]"
  MenuEntry,  // its popup-menu entry as the window shows it (rows that have one)
  MenuName,   // the English entry's name: "RIFF WAVE" of "Extract RIFF WAVE (rough)"
  Prose,      // its command word as a word, in any case, or its MenuName
  TableRow,   // a Markdown table row "| `mp3` | carves | entry | `.mp3` |"
  Word,       // its command word as an item of a list: "mp3;ogg;"
  Extension,  // its extension as an item of a list: "{mp3,ogg}", "(".mp3", ".ogg")"
  Fixture,    // a file name with its extension
};

// A part of a document that names every format: the first match of `part`
// (its group 1, blanks and line ends made single spaces; the whole document
// when empty), in the window's language `language`.
// A part of a document: the text after its marks `from`, each found after
// the one before, up to the next `to`; no marks: the whole document.
struct DocumentPart {
  const char* document;
  std::vector<const char*> from;
  const char* to;
  Naming naming;
  const char* language = kSourceLanguage;
};
const DocumentPart kDocumentParts[] = {
    {"README.md", {"It carves"}, ". It is", Naming::Prose},
    {"README.md", {"\n## Formats\n\n"}, "\n\n", Naming::TableRow},
    {"readme.txt", {}, "", Naming::Synopsis},
    {"readme.txt", {}, "", Naming::MenuEntry},
    {"readme_en.txt", {}, "", Naming::Synopsis},
    {"readme_en.txt", {}, "", Naming::MenuEntry, "en"},
    {"dist/man/zandrel.1.in", {"finds audio streams ("}, ")", Naming::Prose},
    {"dist/man/zandrel.1.in", {"every other format:"}, "(see", Naming::MenuName},
    {"dist/org.zandrel.Zandrel.desktop", {"\nComment="}, "\n", Naming::Prose},
    {"dist/org.zandrel.Zandrel.desktop", {"\nComment[ja]="}, "\n", Naming::Prose},
    {"dist/org.zandrel.Zandrel.desktop", {"\nKeywords="}, "\n", Naming::Word},
    {"dist/org.zandrel.Zandrel.desktop", {"\nKeywords[ja]="}, "\n", Naming::Word},
    {"dist/org.zandrel.Zandrel.metainfo.xml.in", {"<description>", "<p>"}, "</p>", Naming::Prose},
    {"dist/org.zandrel.Zandrel.metainfo.xml.in", {"<p xml:lang=\"ja\">"}, "</p>", Naming::Prose},
    {"fuzz/run_fuzzers.sh", {"tests/data/*.{"}, "}", Naming::Extension},
    {"bench/make_hostile.py", {"real_audio", "endswith(("}, ")", Naming::Extension},
    {"tests/data/README.md", {}, "", Naming::Fixture},
};

// The part of `text` that `part` marks, its blanks each made one space;
// nothing when a mark is missing. Found without regular expressions, whose
// matching recurses once a character and overflows a sanitizer's stack on a
// whole document.
std::optional<std::string> PartOf(const std::string& text, const DocumentPart& part) {
  if (part.from.empty()) return text;
  size_t at = 0;
  for (const char* mark : part.from) {
    at = text.find(mark, at);
    if (at == std::string::npos) return std::nullopt;
    at += std::strlen(mark);
  }
  const size_t end = text.find(part.to, at);
  if (end == std::string::npos) return std::nullopt;
  std::string result;
  for (size_t i = at; i < end; ++i) {
    const bool blank = std::isspace(static_cast<unsigned char>(text[i])) != 0;
    if (!blank)
      result += text[i];
    else if (result.empty() || result.back() != ' ')
      result += ' ';
  }
  return result;
}

// Whether `text` holds `item` as an item of a list or a word of its own.
bool HoldsWord(const std::string& text, std::string_view item, bool anyCase = false) {
  const auto flags = anyCase ? std::regex::ECMAScript | std::regex::icase : std::regex::ECMAScript;
  return std::regex_search(
      text, std::regex("(^|[^A-Za-z0-9])" + std::string(item) + "([^A-Za-z0-9]|$)", flags));
}

// The name of a format's popup-menu entry in English, without the verb and
// its note in parentheses.
std::string MenuName(const FormatRow& row) {
  UseLanguage("en", "");
  const std::string entry = Tr("formats", row.menuText).shown();
  UseLanguage(kSourceLanguage, "");
  std::smatch m;
  if (!std::regex_match(entry, m, std::regex("Extract (.*?)( \\([^)]*\\))?"))) return entry;
  return m[1];
}

bool Names(const std::string& text, Naming naming, const FormatRow& row) {
  const std::string word(row.command), ext(row.extension);
  switch (naming) {
    case Naming::Synopsis:
      return std::regex_search(text, std::regex("[[|]" + word + "[|]"));
    case Naming::MenuEntry:
      return text.find(Tr("formats", row.menuText).shown()) != std::string::npos;
    case Naming::MenuName:
      return text.find(MenuName(row)) != std::string::npos;
    case Naming::Prose:
      return HoldsWord(text, word, true) ||
             (!row.menuText.empty() && text.find(MenuName(row)) != std::string::npos);
    case Naming::TableRow:
      return std::regex_search(
          text, std::regex("\\| `" + word + "` \\|([^|]*\\|){2} `\\." + ext + "` \\|"));
    case Naming::Word:
      return HoldsWord(text, word);
    case Naming::Extension:
      return HoldsWord(text, ext);
    case Naming::Fixture:
      return std::regex_search(text, std::regex("[A-Za-z0-9_]\\." + ext + "([^A-Za-z0-9]|$)"));
  }
  return false;
}

// The Ogg and WAVE rows replace the pattern's last three bytes where they are
// plain text as their own formatter reads the pattern.
TEST(FormatTable, OggAndWaveNamesReadThePatternAsTheyExpandIt) {
  struct Case {
    const char* command;
    const char* pattern;
    const char* name;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"wav", "out/x%-12d", "out/xwav"},
           {"wav", "out/%e%-.mp3", "out/mp3.wav"},
           {"wav", "out/%3.3d.%e", "out/007.wav"},
           {"ogg", "out/%-5d.mp3", "out/7    .ogg"},
           // An output folder given as one.
           {"ogg", "out/%f_%3.3d.%e", "out/track.bin_007.ogg"},
           {"wav", "out/%f_%3.3d.%e", "out/track.bin_007.wav"},
           {"mp3", "out/%f_%3.3d.%e", "out/track.bin_007.mp3"},
           {"hca", "out/%f_%3.3d.%e", "out/track.bin_007.hca"},
       }) {
    EXPECT_EQ(FindFormat(c.command)->name(c.pattern, "track.bin", 7, c.command), c.name)
        << c.command << " " << c.pattern;
  }
}

TEST(FormatTable, EveryDocumentNamesEveryFormat) {
  const fs::path root = fs::path(ZANDREL_TEST_DATA).parent_path().parent_path();
  for (const DocumentPart& doc : kDocumentParts) {
    SCOPED_TRACE(std::string(doc.document) + " " + (doc.from.empty() ? "" : doc.from.back()));
    std::ifstream in(root / doc.document);
    const std::optional<std::string> part =
        PartOf(std::string((std::istreambuf_iterator<char>(in)), {}), doc);
    if (!part) {
      ADD_FAILURE() << "no such part";
      continue;
    }
    const std::string& text = *part;
    UseLanguage(doc.language, "");
    for (const FormatRow& row : Formats()) {
      const bool entry = doc.naming == Naming::MenuEntry || doc.naming == Naming::MenuName;
      if (entry && row.menuText.empty()) continue;
      EXPECT_TRUE(Names(text, doc.naming, row)) << "lacks " << row.command;
    }
    UseLanguage(kSourceLanguage, "");
  }
}

TEST(Documents, TheReadmesLayoutHasEveryFolder) {
  const fs::path root = fs::path(ZANDREL_TEST_DATA).parent_path().parent_path();
  std::ifstream in(root / "README.md");
  const std::string readme((std::istreambuf_iterator<char>(in)), {});
  const size_t layout = readme.find("\n## Layout\n");
  ASSERT_NE(layout, std::string::npos);
  for (const auto& entry : fs::directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_directory() || name.starts_with(".") || name.starts_with("build")) continue;
    EXPECT_NE(readme.find("\n| `" + name + "/` |", layout), std::string::npos) << name;
  }
  // The engine and the formats' part of carve/ have rows of their own, and
  // the row of the formats names every family's folder.
  const size_t formats = readme.find("\n| `carve/formats/` |", layout);
  ASSERT_NE(formats, std::string::npos);
  EXPECT_NE(readme.find("\n| `carve/engine/` |", layout), std::string::npos);
  const std::string row = readme.substr(formats, readme.find('\n', formats + 1) - formats);
  for (const auto& entry : fs::directory_iterator(root / "carve/formats")) {
    const std::string family = entry.path().filename().string();
    EXPECT_NE(row.find("`" + family + "/`"), std::string::npos) << family;
  }
}

TEST(NewFormats, EveryFixtureComesOutWholeAtOddOffsetsInATarAndBackToBack) {
  for (const FormatRow& row : NewFormats()) {
    const std::vector<std::string> names = FixturesOf(row);
    EXPECT_FALSE(names.empty()) << row.command << " has no fixture";
    std::vector<std::pair<std::string, Bytes>> all;
    Bytes backToBack;
    for (const std::string& name : names) {
      SCOPED_TRACE(name);
      const Bytes fixture = Fixture(name);
      all.emplace_back(name, fixture);
      Append(backToBack, fixture);
      // Twice at odd offsets in random bytes of every value.
      const Bytes input = TwiceAtOddOffsets(fixture);
      const Carved carved = Carve(input, {&row});
      EXPECT_EQ(carved.lines.size(), 2u);
      EXPECT_EQ(Values(carved.files), (std::vector<Bytes>{fixture, fixture}));
      // Alone, it is found by `all` as by its own pass, and by no other format.
      const Carved alone = Carve(fixture, NewRows());
      ASSERT_EQ(alone.lines.size(), 1u);
      EXPECT_EQ(Values(alone.files), std::vector<Bytes>{fixture});
    }
    // In a tar: one output per member, each its member's bytes.
    const Carved tarred = Carve(Tar(all), {&row});
    std::vector<Bytes> expected;
    for (const auto& [name, data] : all) expected.push_back(data);
    EXPECT_EQ(Values(tarred.files), expected) << row.command;
    // Back to back: streams of one format whose frames match may run on as one,
    // but together the outputs are the input, each cut at a fixture's end.
    const Carved joined = Carve(backToBack, {&row});
    Bytes together;
    for (const Bytes& out : Values(joined.files)) Append(together, out);
    EXPECT_EQ(together, backToBack) << row.command;
    std::set<size_t> ends;
    size_t end = 0;
    for (const auto& [name, data] : all) ends.insert(end += data.size());
    end = 0;
    for (const Bytes& out : Values(joined.files)) {
      EXPECT_TRUE(ends.count(end += out.size())) << row.command;
    }
  }
}

TEST(CodecRules, EveryFixtureComesOutWholeNamedByCodecAtOddOffsetsInATarAndBackToBack) {
  for (const CodecRule& rule : kCodecRules) {
    SCOPED_TRACE(rule.command);
    const FormatRow& row = *FindFormat(rule.command);
    std::vector<std::string> names = rule.more;
    for (std::string_view ext : rule.extensions) {
      const std::vector<std::string> found = FixturesWithExtension(ext);
      EXPECT_FALSE(found.empty()) << ext << " has no fixture";
      names.insert(names.end(), found.begin(), found.end());
    }
    std::vector<std::pair<std::string, Bytes>> all;
    std::vector<Bytes> allPieces;
    Bytes backToBack;
    for (const std::string& name : names) {
      SCOPED_TRACE(name);
      const Bytes fixture = Fixture(name);
      const std::vector<Bytes> pieces = PiecesOf(name);
      Bytes whole;
      for (const Bytes& piece : pieces) Append(whole, piece);
      ASSERT_EQ(whole, fixture);
      all.emplace_back(name, fixture);
      allPieces.insert(allPieces.end(), pieces.begin(), pieces.end());
      Append(backToBack, fixture);
      // Twice at odd offsets in random bytes of every value: each stream
      // whole, under the fixture's extension.
      const Bytes input = TwiceAtOddOffsets(fixture);
      const Carved carved = Carve(input, {&row}, 2, AllRules);
      std::vector<Bytes> twice = pieces;
      twice.insert(twice.end(), pieces.begin(), pieces.end());
      EXPECT_EQ(carved.lines.size(), twice.size());
      EXPECT_EQ(Values(carved.files), twice);
      for (const auto& [out, bytes] : carved.files) {
        EXPECT_EQ(fs::path(out).extension(), fs::path(name).extension()) << out;
      }
    }
    // In a tar, and back to back: one output per stream, each whole.
    EXPECT_EQ(Values(Carve(Tar(all), {&row}, 2, AllRules).files), allPieces);
    EXPECT_EQ(Values(Carve(backToBack, {&row}, 2, AllRules).files), allPieces);
  }
}

TEST(NewFormats, NothingElseIsTakenForThem) {
  // Random bytes of every value, the fixtures of every other format, PCM and
  // compressed data.
  std::vector<std::pair<std::string, Bytes>> inputs = {
      {"64 MiB of random bytes", RandomBytes(64 << 20, 20261209, true)}};
  Bytes packed;
  for (const auto& entry : fs::directory_iterator(ZANDREL_TEST_DATA)) {
    const std::string name = entry.path().filename().string();
    const std::string ext = entry.path().extension().string();
    if (ext == ".sh" || ext == ".md") continue;
    inputs.emplace_back(name, ReadBytes(entry.path()));
    Append(packed, inputs.back().second);
  }
  inputs.emplace_back("all fixtures, gzipped", Gzip(packed));
  for (const auto& [name, input] : inputs) {
    SCOPED_TRACE(name);
    // A fixture may only be found by the format whose extension it has.
    std::vector<const FormatRow*> others;
    for (const FormatRow* row : NewRows()) {
      if (!name.ends_with("." + std::string(row->extension))) others.push_back(row);
    }
    const Carved carved = Carve(input, others, 4);
    EXPECT_TRUE(carved.lines.empty()) << carved.lines.front();
    // Nor do the Ogg and WAVE commands with every rule on, in anything but
    // their own fixtures and the banks whose members are RIFF files (a
    // Wwise bank's or package's WEM members, the WAVE members of the AWB
    // fixtures).
    std::vector<const FormatRow*> ruled;
    const bool riffMembers =
        name.ends_with(".bnk") || name.ends_with(".awb") || name.ends_with(".pck");
    for (const CodecRule& rule : kCodecRules) {
      const FormatRow* row = FindFormat(rule.command);
      auto own = [&](std::string_view ext) { return name.ends_with("." + std::string(ext)); };
      if (riffMembers && row->command == "wav") continue;
      if (!own(row->extension) &&
          std::none_of(rule.extensions.begin(), rule.extensions.end(), own)) {
        ruled.push_back(row);
      }
    }
    const Carved withRules = Carve(input, ruled, 4, AllRules);
    EXPECT_TRUE(withRules.lines.empty()) << withRules.lines.front();
  }
}

// This machine's own files, put together at test time: programs and
// libraries, fonts, compressed files and images. No format, in one read of
// them all, takes anything in them for a stream.
TEST(EveryFormat, NothingIsFoundInThisMachinesOwnFiles) {
  struct Haystack {
    const char* what;
    std::vector<const char*> folders;
    bool recursive;
    std::vector<std::string> endings;  // of the names taken; none: any
    uintmax_t minSize;                 // of a file taken
    uintmax_t budget;                  // bytes at the most
  };
  const Haystack haystacks[] = {
      {"programs and libraries",
       {"/usr/bin", "/usr/lib/x86_64-linux-gnu"},
       false,
       {},
       100 << 10,
       192u << 20},
      {"fonts", {"/usr/share/fonts"}, true, {".ttf", ".otf", ".ttc", ".pfb"}, 0, 64u << 20},
      {"compressed files",
       {"/usr/share/doc", "/usr/share/man"},
       true,
       {".gz", ".xz", ".bz2"},
       0,
       32u << 20},
      {"images",
       {"/usr/share/icons", "/usr/share/pixmaps", "/usr/share/doc"},
       true,
       {".png", ".jpg", ".gif", ".svgz"},
       0,
       16u << 20},
  };
  for (const Haystack& h : haystacks) {
    SCOPED_TRACE(h.what);
    std::vector<fs::path> files;
    auto take = [&](const fs::directory_entry& entry) {
      const std::string name = entry.path().filename().string();
      std::error_code ec;
      if (!entry.is_regular_file(ec) || entry.is_symlink(ec) || entry.file_size(ec) < h.minSize) {
        return;
      }
      if (h.endings.empty() ||
          std::any_of(h.endings.begin(), h.endings.end(),
                      [&](const std::string& ending) { return name.ends_with(ending); })) {
        files.push_back(entry.path());
      }
    };
    for (const char* folder : h.folders) {
      std::error_code ec;
      const auto options = fs::directory_options::skip_permission_denied;
      if (h.recursive) {
        for (fs::recursive_directory_iterator it(folder, options, ec), end; it != end;
             it.increment(ec)) {
          take(*it);
        }
      } else {
        for (fs::directory_iterator it(folder, options, ec), end; it != end; it.increment(ec)) {
          take(*it);
        }
      }
    }
    std::sort(files.begin(), files.end());
    TempDir dir;
    const std::string input = dir / "haystack.bin";
    uintmax_t size = 0;
    {
      std::ofstream out(input, std::ios::binary);
      for (const fs::path& file : files) {
        if (size >= h.budget) break;
        std::ifstream in(file, std::ios::binary);
        std::vector<char> bytes(std::min<uintmax_t>(fs::file_size(file), h.budget - size));
        if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) continue;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        size += bytes.size();
      }
    }
    // Nothing much to look at would prove nothing.
    ASSERT_GT(size, uintmax_t{1} << 20) << "too few files";
    ScriptHost host;
    host.minFrames = SettingOf(SettingId::MinFrames).defaultValue;
    host.pumpIntervalMs = 60000;
    RunState dryRun = RunState::PassAlone({.dryRun = true});
    ExtractFormats(host, AllFormatRows(), input, dir / "out/%3.3d.x", dryRun);
    // The Ogg and WAVE commands again with every rule on.
    ScriptHost ruled;
    AllRules(ruled);
    ruled.minFrames = host.minFrames;
    ruled.pumpIntervalMs = 60000;
    ExtractFormats(ruled, {FindFormat("ogg"), FindFormat("wav")}, input, dir / "out/%3.3d.x",
                   dryRun);
    for (const ScriptHost* run : {&host, &ruled}) {
      for (const StreamReport& stream : run->streams) {
        ADD_FAILURE() << stream.format << " at " << stream.offset << ", " << stream.length
                      << " bytes, of " << size;
      }
    }
  }
}

}  // namespace
