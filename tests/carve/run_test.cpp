// The checks before a run that takes new tags from a tag INI file, asked
// through a scripted prompt: what is refused, what is asked in which order,
// and what the answers make of the run. Runs over several inputs: no output
// of the run is replaced by a later one of the same run.
#include "carve/engine/run.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <deque>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "carve/engine/formats.h"
#include "carve/engine/run_outputs.h"
#include "output/tag_ini.h"
#include "platform/fault.h"
#include "support/script_host.h"
#include "support/test_files.h"

namespace {

class ScriptPrompt : public Prompt {
 public:
  std::deque<bool> answers;        // to the questions, in order
  std::optional<std::string> crc;  // what the input's CRC-32 reads as
  std::vector<std::string> asked;  // "refuse: …", "confirm: …", "crc: INPUT"

  void Refuse(const std::string& reason) override { asked.push_back("refuse: " + reason); }
  bool Confirm(const std::string& question) override {
    asked.push_back("confirm: " + question);
    const bool yes = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return yes;
  }
  std::optional<std::string> InputCrcText(const std::string& input) override {
    asked.push_back("crc: " + input);
    return crc;
  }
};

const std::string kMany = "refuse: IniFileを指定した場合は複数選択できません";
const std::string kName =
    "confirm: 入力ファイル名がINIで指定されたものと違っていますが、続行しますか？";
const std::string kCrc = "confirm: CRCがINIで指定されたものと違っていますが、続行しますか？";

TEST(RunChecks, TagIniRunsAskWhatTheFileDoesNotMatch) {
  struct Case {
    const char* what;
    std::vector<std::string> inputs;
    std::string ini;
    std::optional<std::string> crc;
    std::deque<bool> answers;
    RunCheck result;
    std::vector<std::string> asked;
  };
  const std::string named = "[general]\nInputFile=game.pak\n";
  const std::string both = named + "InputCRC=1A2B3C4D\n";
  const Case cases[] = {
      {"two inputs", {"d/a.pak", "d/b.pak"}, named, {}, {}, RunCheck::Refused, {kMany}},
      {"no input", {}, named, {}, {}, RunCheck::Failed, {}},
      {"nothing to check", {"d/x.bin"}, "[general]\n", {}, {}, RunCheck::Go, {}},
      {"the name matches", {"d/game.pak"}, named, {}, {}, RunCheck::Go, {}},
      {"another name, no", {"d/x.pak"}, both, "1A2B3C4D", {false}, RunCheck::Refused, {kName}},
      {"another name, yes", {"d/x.pak"}, named, {}, {true}, RunCheck::Go, {kName}},
      // A name typed without a folder has no base name to match.
      {"no folder", {"game.pak"}, named, {}, {false}, RunCheck::Refused, {kName}},
      {"the checksum matches",
       {"d/game.pak"},
       both,
       "1A2B3C4D",
       {},
       RunCheck::Go,
       {"crc: d/game.pak"}},
      {"the checksum in lower case",
       {"d/game.pak"},
       both,
       "1a2b3c4d",
       {false},
       RunCheck::Refused,
       {"crc: d/game.pak", kCrc}},
      {"another checksum, yes",
       {"d/game.pak"},
       both,
       "00000000",
       {true},
       RunCheck::Go,
       {"crc: d/game.pak", kCrc}},
      {"an unreadable input",
       {"d/game.pak"},
       both,
       std::nullopt,
       {},
       RunCheck::Failed,
       {"crc: d/game.pak"}},
      {"both differ, yes to both",
       {"d/x.pak"},
       both,
       "00000000",
       {true, true},
       RunCheck::Go,
       {kName, "crc: d/x.pak", kCrc}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptPrompt prompt;
    prompt.crc = c.crc;
    prompt.answers = c.answers;
    EXPECT_EQ(CheckTagIniRun(c.inputs, TagIni::Parse(c.ini), prompt), c.result);
    EXPECT_EQ(prompt.asked, c.asked);
  }
}

// A run that reads a tag INI file reads it through its own Env and makes its
// checks before it begins: a refused or failed check carves nothing and the
// host is never told the run began; a file that cannot be read is told and
// gives an empty reader.
TEST(CarveInputs, ReadsItsTagIniFileThroughItsEnvAndChecksFirst) {
  struct Case {
    const char* what;
    const char* command;
    int inputs;
    const char* ini;  // the file's text; null: no file
    bool openFails;   // the Env fails the first file opened (the INI file)
    RunCheck check;
    bool newTag;          // the stream's output ends in the INI's tag
    const char* problem;  // what the host is told of the file, or null
  };
  const Case cases[] = {
      {"the INI names the stream", "mp3", 1, "[Track1]\nTitle=Named\n", false, RunCheck::Go, true,
       nullptr},
      {"a format that reads no INI", "ogg", 2, "[Track1]\nTitle=Named\n", false, RunCheck::Go,
       false, nullptr},
      {"two inputs", "mp3", 2, "[Track1]\nTitle=Named\n", false, RunCheck::Refused, false, nullptr},
      {"no such file", "mp3", 1, nullptr, false, RunCheck::Go, false, "File not found"},
      {"the Env fails its open", "mp3", 1, "[Track1]\nTitle=Named\n", true, RunCheck::Go, false,
       "Input/output error"},
      {"a name that differs, refused", "mp3", 1, "[general]\nInputFile=other.bin\n", false,
       RunCheck::Refused, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < c.inputs; ++i) {
      Bytes data = RandomBytes(200, 5);
      Append(data, Fixture("mpeg1_id3.mp3"));
      names.push_back(dir / ("in" + std::to_string(i) + ".bin"));
      WriteBytes(names.back(), data);
    }
    const NameList inputs(names);
    if (c.ini) WriteBytes(dir / "tags.ini", Bytes(c.ini, c.ini + std::strlen(c.ini)));
    FaultPlan plan(FileOp::Open, 1, c.openFails ? EIO : 0);
    ScriptHost host;
    ScriptPrompt prompt;
    const RunOutcome outcome = CarveInputs(host, {.inputs = inputs,
                                                  .formats = {FindFormat(c.command)},
                                                  .pattern = [&] { return dir / "o/%3.3d.%e"; },
                                                  .options = {},
                                                  .env = plan,
                                                  .tagIni = dir / "tags.ini",
                                                  .prompt = &prompt});
    EXPECT_EQ(outcome.check, c.check);
    EXPECT_EQ(host.runsBegun, c.check == RunCheck::Go ? 1 : 0);
    // A refused run never looks at its inputs (there may be millions).
    EXPECT_EQ(plan.count(FileOp::Look) > 0, c.check == RunCheck::Go);
    EXPECT_EQ(host.tagIniProblems, c.problem
                                       ? std::vector<std::string>{dir / "tags.ini: " + c.problem}
                                       : std::vector<std::string>{});
    const bool wrote = std::string(c.command) == "mp3" && c.check == RunCheck::Go;
    EXPECT_EQ(outcome.written, wrote ? 1 : 0);
    if (!wrote) continue;
    const Bytes out = ReadBytes(dir / "o/001.mp3");
    ASSERT_GT(out.size(), 128u);
    EXPECT_EQ(std::string(out.end() - 128, out.end() - 128 + 8) == "TAGNamed", c.newTag);
  }
}

// One output a run should leave: its name below the run's folder, the
// fixture it holds, and the name the pattern gave it when it was renamed.
struct Left {
  std::string name;
  std::string fixture;
  std::string renamedFrom;
};

TEST(CarveInputs, NoOutputOfTheRunIsReplacedByALaterOne) {
  struct Case {
    const char* what;
    const char* command;
    std::vector<std::vector<std::string>> inputs;  // the fixtures of each input, in order
    std::string pattern;
    std::vector<std::string> before;  // files there before the run (empty ones)
    bool dryRun;
    std::vector<Left> left;
  };
  const std::string cbr = "mpeg1_cbr128.mp3", vbr = "mpeg1_vbr.mp3";
  const Case cases[] = {
      {"two inputs, the default pattern",
       "mp3",
       {{cbr}, {vbr}},
       "output/%3.3d.mp3",
       {},
       false,
       {{"output/001.mp3", cbr, ""}, {"output/001_2.mp3", vbr, "output/001.mp3"}}},
      {"three inputs",
       "mp3",
       {{cbr}, {vbr}, {cbr, vbr}},
       "o/%3.3d.mp3",
       {},
       false,
       {{"o/001.mp3", cbr, ""},
        {"o/001_2.mp3", vbr, "o/001.mp3"},
        {"o/001_3.mp3", cbr, "o/001.mp3"},
        {"o/002.mp3", vbr, ""}}},
      {"one input, no number in the pattern",
       "mp3",
       {{cbr, vbr, cbr}},
       "out/x.mp3",
       {},
       false,
       {{"out/x.mp3", cbr, ""},
        {"out/x_2.mp3", vbr, "out/x.mp3"},
        {"out/x_3.mp3", cbr, "out/x.mp3"}}},
      {"no extension, a dotted folder",
       "mp3",
       {{cbr, vbr}},
       "o.d/x",
       {},
       false,
       {{"o.d/x", cbr, ""}, {"o.d/x_2", vbr, "o.d/x"}}},
      // Files of earlier runs are replaced as ever, but never taken as free.
      {"files of an earlier run",
       "mp3",
       {{cbr}, {vbr}},
       "output/%3.3d.mp3",
       {"output/001.mp3", "output/001_2.mp3"},
       false,
       {{"output/001.mp3", cbr, ""}, {"output/001_3.mp3", vbr, "output/001.mp3"}}},
      {"names that do not meet",
       "mp3",
       {{cbr}, {vbr}},
       "out/%f-%3.3d.mp3",
       {},
       false,
       {{"out/a0.bin-001.mp3", cbr, ""}, {"out/a1.bin-001.mp3", vbr, ""}}},
      {"a dry run names as a run would",
       "mp3",
       {{cbr}, {vbr}},
       "o/%d.mp3",
       {},
       true,
       {{"o/1.mp3", "", ""}, {"o/1_2.mp3", "", "o/1.mp3"}}},
      {"all formats, two inputs",
       "all",
       {{"wave_u8_mono.wav", cbr}, {"wave_u8_mono.wav"}},
       "o/%3.3d.mp3",
       {},
       false,
       {{"o/001.wav", "wave_u8_mono.wav", ""},
        {"o/001.mp3", cbr, ""},
        {"o/001_2.wav", "wave_u8_mono.wav", "o/001.wav"}}},
      // The classic Ogg and WAVE names where they can be made, the newer
      // formats' names where they cannot.
      {"Ogg, the classic name",
       "ogg",
       {{"vorbis_mono.ogg"}},
       "o/%3.3d.mp3",
       {},
       false,
       {{"o/001.ogg", "vorbis_mono.ogg", ""}}},
      {"Ogg, a base name",
       "ogg",
       {{"vorbis_mono.ogg"}},
       "o/%f-%3.3d.ogg",
       {},
       false,
       {{"o/a0.bin-001.ogg", "vorbis_mono.ogg", ""}}},
      {"Ogg, an extension",
       "ogg",
       {{"vorbis_mono.ogg"}},
       "o/%3.3d.%e",
       {},
       false,
       {{"o/001.ogg", "vorbis_mono.ogg", ""}}},
      {"WAVE, the classic name",
       "wav",
       {{"wave_u8_mono.wav"}},
       "o/%f.mp3",
       {},
       false,
       {{"o/a0.bin.wav", "wave_u8_mono.wav", ""}}},
      {"WAVE, an extension",
       "wav",
       {{"wave_u8_mono.wav"}},
       "o/%3.3d.%e",
       {},
       false,
       {{"o/001.wav", "wave_u8_mono.wav", ""}}},
      {"WAVE, a base name",
       "wav",
       {{"wave_u8_mono.wav"}},
       "o/%f-%3.3d",
       {},
       false,
       {{"o/a0.bin-001.wav", "wave_u8_mono.wav", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::vector<std::string> inputs;
    for (size_t i = 0; i < c.inputs.size(); ++i) {
      Bytes data = RandomBytes(300, 11 + static_cast<uint32_t>(i));
      for (const std::string& fixture : c.inputs[i]) {
        Append(data, Fixture(fixture));
        Append(data, RandomBytes(300, 29 + static_cast<uint32_t>(i)));
      }
      inputs.push_back(dir / ("a" + std::to_string(i) + ".bin"));
      WriteBytes(inputs.back(), data);
    }
    for (const std::string& name : c.before) {
      std::filesystem::create_directories(std::filesystem::path(dir / name).parent_path());
      WriteBytes(dir / name, {});
    }
    ScriptHost host;
    host.minFrames = 2;
    const std::string command = c.command;
    CarveInputs(host, {inputs,
                       command == "all" ? AllFormatRows()
                                        : std::vector<const FormatRow*>{FindFormat(command)},
                       [&] { return dir / c.pattern; },
                       {.dryRun = c.dryRun}});
    EXPECT_TRUE(host.boxes.empty());
    ASSERT_EQ(host.streams.size(), c.left.size());
    for (size_t i = 0; i < c.left.size(); ++i) {
      const Left& left = c.left[i];
      const StreamReport& report = host.streams[i];
      EXPECT_EQ(report.output, dir / left.name);
      EXPECT_EQ(report.renamedFrom, left.renamedFrom.empty() ? "" : dir / left.renamedFrom);
      if (!c.dryRun) {
        EXPECT_EQ(ReadBytes(dir / left.name), Fixture(left.fixture)) << left.name;
      }
      // A renamed output is told in a line right after its stream's line.
      const std::string told =
          "出力ファイル名を変更しました(" + report.renamedFrom + " → " + report.output + ")";
      const bool logged = std::find(host.log.begin(), host.log.end(), told) != host.log.end();
      EXPECT_EQ(logged, !left.renamedFrom.empty()) << left.name;
    }
    if (c.dryRun) {
      EXPECT_FALSE(std::filesystem::exists(dir / "o"));
    }
  }
}

// A file the run wrote is no input of it, also where it was named as one.
TEST(CarveInputs, PassesOverTheFilesItWrote) {
  TempDir dir;
  Bytes data = RandomBytes(100, 3);
  Append(data, Fixture("mpeg1_cbr128.mp3"));
  WriteBytes(dir / "a.bin", data);
  ScriptHost host;
  const NameList inputs{dir / "a.bin", dir / "o/1.mp3", dir / "./o/1.mp3"};
  CarveInputs(host, {inputs, {FindFormat("mp3")}, [&] { return dir / "o/%d.mp3"; }, {}});
  ASSERT_EQ(host.streams.size(), 1u);
  EXPECT_EQ(host.streams[0].output, dir / "o/1.mp3");
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "o/1_2.mp3"));
}

// A folder stands for the regular files below it, in a stable order; with a
// pattern, the folder its outputs go to is left out; a folder that cannot be
// read (too deep to be named, whoever runs) is reported and passed over.
TEST(ExpandFolders, FoldersStandForTheirFilesButTheOutputFolder) {
  namespace fs = std::filesystem;
  TempDir dir;
  for (const char* name : {"t/b.bin", "t/a/c.bin", "t/o/1.mp3", "x.bin"}) {
    fs::create_directories(fs::path(dir / name).parent_path());
    WriteBytes(dir / name, {1});
  }
  fs::create_directories(dir / "d");
  const std::string here = fs::current_path();
  fs::current_path(dir / "d");
  for (int i = 0; i < 22; ++i) {
    fs::create_directory(std::string(200, 'd'));
    fs::current_path(std::string(200, 'd'));
  }
  WriteBytes("lost.bin", {1});
  fs::current_path(here);
  struct Case {
    std::vector<std::string> inputs;
    std::optional<std::string> pattern;
    std::vector<std::string> files;
    size_t unreadable;
  } cases[] = {
      {{dir / "x.bin", dir / "t"},
       {},
       {dir / "x.bin", dir / "t/a/c.bin", dir / "t/b.bin", dir / "t/o/1.mp3"},
       0},
      {{dir / "t", dir / "gone"},
       dir / "t/o/%d.mp3",
       {dir / "t/a/c.bin", dir / "t/b.bin", dir / "gone"},
       0},
      {{dir / "t/o"}, dir / "t/o/%d.mp3", {dir / "t/o/1.mp3"}, 0},
      {{dir / "d", dir / "x.bin"}, {}, {dir / "x.bin"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.inputs.front());
    ScriptHost host;
    const NameList files = ExpandFolders(c.inputs, host, c.pattern ? &*c.pattern : nullptr);
    std::vector<std::string> listed;
    for (std::string_view file : files) listed.emplace_back(file);
    EXPECT_EQ(listed, c.files);
    ASSERT_EQ(host.unreadableFolders.size(), c.unreadable);
    if (c.unreadable > 0) {
      EXPECT_TRUE(host.unreadableFolders[0].starts_with(dir / "d/dd"));
    }
  }
}

// Free names beside names the run wrote: each name's count is remembered, so
// that the names looked at grow with the streams, not with their square.
TEST(RunOutputs, FreeNamesCostOneLookEachWhateverTheirNumber) {
  struct Case {
    const char* what;
    std::vector<std::string> asked;  // the names the pattern gives, in turn
    int earlier;                     // files _2 .. _earlier+1 of an earlier run
  };
  std::vector<std::string> one(1500, "x.mp3"), two;
  for (int i = 0; i < 1500; ++i) two.push_back(i % 2 ? "b.mp3" : "a.mp3");
  const Case cases[] = {{"one name", one, 0},
                        {"two names in turn", two, 0},
                        {"beside files of an earlier run", one, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    for (int n = 2; n < c.earlier + 2; ++n)
      WriteBytes(dir / ("x_" + std::to_string(n) + ".mp3"), {});
    RunOutputs outputs;
    std::set<std::string> given;
    int64_t renamed = 0;
    for (const std::string& asked : c.asked) {
      const bool taken = outputs.wrote(dir / asked);
      renamed += taken;
      const std::string name = taken ? outputs.freeName(dir / asked) : dir / asked;
      EXPECT_TRUE(given.insert(name).second) << name;
      EXPECT_FALSE(std::filesystem::exists(name)) << name;
      outputs.add(name);
    }
    // One look per renamed stream, and one more for each name it took.
    EXPECT_LE(outputs.namesTried(), 2 * static_cast<int64_t>(c.asked.size()) + c.earlier);
    EXPECT_GE(outputs.namesTried(), renamed);
  }
}

// A free name beside a name of the longest length a folder holds fits too:
// its base gives way, never its extension nor half of a character.
TEST(RunOutputs, FreeNamesFitInADirectoryEntry) {
  const std::string kana = "\xE3\x81\x82";  // three bytes
  struct Case {
    const char* what;
    std::string base, ext;
    int64_t n;
    size_t length;  // of the free name's last part
    std::string ends;
  };
  std::string kanaBase = "z";  // and 83 characters: 250 bytes
  for (int i = 0; i < 83; ++i) kanaBase += kana;
  std::string accents = "z", notes = "zz";  // 125 of two bytes, 62 of four: 251 and 250 bytes
  for (int i = 0; i < 125; ++i) accents += "\xC3\xA9";
  for (int i = 0; i < 62; ++i) notes += "\xF0\x9F\x8E\xB5";
  const Case cases[] = {
      {"short: as ever", "x", ".mp3", 2, 7, "x_2.mp3"},
      {"255 bytes", std::string(251, 'a'), ".mp3", 2, NAME_MAX, "a_2.mp3"},
      {"a count of five digits", std::string(251, 'a'), ".mp3", 12345, NAME_MAX, "a_12345.mp3"},
      {"no extension", std::string(NAME_MAX, 'b'), "", 7, NAME_MAX, "b_7"},
      {"UTF-8: whole characters", kanaBase, ".wav", 2, 253, kana + "_2.wav"},
      {"not UTF-8: cut at the byte", std::string(250, '\x82') + "\xA0", ".mp3", 3, NAME_MAX,
       "\x82_3.mp3"},
      {"UTF-8 of two bytes: whole characters", accents, ".mp", 2, 254, "\xC3\xA9_2.mp"},
      {"UTF-8 of four bytes: whole characters", notes, ".wav", 2, 252, "\xB5_2.wav"},
      {"a stray continuation byte first: cut at the byte", "\x80" + kanaBase.substr(1), ".wav", 2,
       NAME_MAX, "\x81_2.wav"},
      {"no base left to cut: as it is", "a", "." + std::string(252, 'x'), 2, NAME_MAX + 1,
       "a_2." + std::string(252, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string asked = dir / (c.base + c.ext);
    WriteBytes(asked, {1});
    const std::string name = FitNameBeside(asked, c.n);
    const std::string last = name.substr(dir.path().size() + 1);
    EXPECT_EQ(last.size(), c.length);
    EXPECT_TRUE(last.ends_with(c.ends));
    EXPECT_TRUE(c.base.starts_with(last.substr(0, last.size() - c.ends.size())));
    if (last.size() > NAME_MAX) continue;  // a name no folder takes: its stream fails
    WriteBytes(name, {2});                 // a name the folder takes
    EXPECT_EQ(ReadBytes(name), Bytes{2});
  }
}

}  // namespace

// The meter of the run counts the bytes each input's walk goes through: a
// split image its first segment opens, whole, and its later segments not
// again; without images, each file as it is.
TEST(CarveInputs, PlacesCountTheBytesEachWalkGoesThrough) {
  TempDir dir;
  WriteBytes(dir / "img.001", RandomBytes(1000, 1));
  WriteBytes(dir / "img.002", RandomBytes(600, 2));
  WriteBytes(dir / "other.bin", RandomBytes(300, 3));
  const NameList inputs{dir / "img.001", dir / "img.002", dir / "other.bin"};
  struct Case {
    int images;
    std::vector<int64_t> bytes, before;
  };
  for (const Case& c :
       {Case{1, {1600, 0, 300}, {0, 1600, 1600}}, Case{0, {1000, 600, 300}, {0, 1000, 1600}}}) {
    ScriptHost host;
    host.images = c.images;
    CarveInputs(host, {inputs, {FindFormat("mp3")}, [&] { return dir / "o/%d.mp3"; }, {}});
    ASSERT_EQ(host.places.size(), 3u) << c.images;
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(host.places[i].bytes, c.bytes[i]) << c.images << " " << i;
      EXPECT_EQ(host.places[i].bytesBefore, c.before[i]) << c.images << " " << i;
      EXPECT_EQ(host.places[i].totalBytes, 1900) << c.images << " " << i;
    }
  }
}
