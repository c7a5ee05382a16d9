// The checks before a run that takes new tags from a tag INI file, asked
// through a scripted prompt: what is refused, what is asked in which order,
// and what the answers make of the run.
#include "carve/run.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "output/tag_ini.h"

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

}  // namespace
