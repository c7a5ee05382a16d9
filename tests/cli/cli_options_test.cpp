// The command line of zandrel-cli: how arguments become options, and which
// ones are refused.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "carve/engine/formats.h"
#include "carve/engine/settings.h"
#include "cli/cli_run.h"

namespace {

using Args = std::vector<std::string>;

TEST(CliOptions, DefaultsMatchTheWindowsDefaults) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(ParseCliOptions({"in.bin"}, o, error)) << error;
  EXPECT_EQ(o.command, "mp3");
  EXPECT_EQ(o.output, "");
  EXPECT_FALSE(o.settings[SettingId::LimitRange]);
  EXPECT_EQ(o.settings[SettingId::MinFrames], 4);
  EXPECT_TRUE(o.settings[SettingId::BreakOnVersion] && o.settings[SettingId::BreakOnChannel] &&
              o.settings[SettingId::BreakOnFreq] && o.settings[SettingId::BreakOnCrc]);
  EXPECT_TRUE(o.settings[SettingId::CopyId3v1] && o.settings[SettingId::CopyId3v2]);
  EXPECT_FALSE(o.useTagIni || o.yes || o.abortOnError || o.help || o.version);
  EXPECT_FALSE(o.json || o.quiet || o.dryRun || o.noClobber);
  EXPECT_EQ(o.filesFrom, "");
  EXPECT_EQ(o.inputs, Args{"in.bin"});
}

TEST(CliOptions, EveryOptionSetsItsField) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(ParseCliOptions({"mp3",
                               "-o",
                               "out/%3.3d.mp3",
                               "--range",
                               "10",
                               "90",
                               "--frames",
                               "7",
                               "--no-version-break",
                               "--no-channel-break",
                               "--no-freq-break",
                               "--no-crc-break",
                               "--no-id3v2",
                               "--no-id3v1",
                               "--tag-ini",
                               "tags.ini",
                               "--yes",
                               "--abort-on-error",
                               "--json",
                               "-q",
                               "-n",
                               "--no-clobber",
                               "-r",
                               "--files-from",
                               "list.txt",
                               "a",
                               "b"},
                              o, error))
      << error;
  EXPECT_EQ(o.output, "out/%3.3d.mp3");
  EXPECT_TRUE(o.settings[SettingId::LimitRange]);
  EXPECT_EQ(o.settings[SettingId::LowerPercent], 10);
  EXPECT_EQ(o.settings[SettingId::UpperPercent], 90);
  EXPECT_EQ(o.settings[SettingId::MinFrames], 7);
  EXPECT_FALSE(o.settings[SettingId::BreakOnVersion] || o.settings[SettingId::BreakOnChannel] ||
               o.settings[SettingId::BreakOnFreq] || o.settings[SettingId::BreakOnCrc]);
  EXPECT_FALSE(o.settings[SettingId::CopyId3v1] || o.settings[SettingId::CopyId3v2]);
  EXPECT_TRUE(o.useTagIni);
  EXPECT_EQ(o.tagIni, "tags.ini");
  EXPECT_TRUE(o.yes);
  EXPECT_TRUE(o.abortOnError);
  EXPECT_TRUE(o.json && o.quiet && o.dryRun && o.noClobber && o.recursive);
  EXPECT_EQ(o.filesFrom, "list.txt");
  EXPECT_EQ(o.inputs, (Args{"a", "b"}));

  ASSERT_TRUE(ParseCliOptions({"--quiet", "--dry-run", "--files-from=-"}, o, error)) << error;
  EXPECT_TRUE(o.quiet && o.dryRun && !o.recursive);
  EXPECT_EQ(o.filesFrom, "-");
  EXPECT_TRUE(o.inputs.empty());
}

TEST(CliOptions, ValuesMayFollowAnEqualsSignAndOptionsMayFollowInputs) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(ParseCliOptions(
      {"a", "--output=x/%d.mp3", "b", "--frames=1000", "-oy/%d.mp3", "--tag-ini=t.ini"}, o, error))
      << error;
  EXPECT_EQ(o.output, "y/%d.mp3");  // the last one given counts
  EXPECT_EQ(o.settings[SettingId::MinFrames], 1000);
  EXPECT_EQ(o.tagIni, "t.ini");
  EXPECT_EQ(o.inputs, (Args{"a", "b"}));
}

TEST(CliOptions, TheCommandWordStandsAnywhereBeforeTheInputs) {
  struct Case {
    Args args;
    std::string command;
    Args inputs;
  };
  const Case cases[] = {
      {{"mp3", "x"}, "mp3", {"x"}},
      {{"ogg", "x"}, "ogg", {"x"}},
      {{"wav", "x"}, "wav", {"x"}},
      {{"crc", "x", "y"}, "crc", {"x", "y"}},
      {{"MP3", "x"}, "mp3", {"MP3", "x"}},
      {{"wav", "--", "ogg"}, "wav", {"ogg"}},
      {{"--frames", "2", "ogg", "-o", "out/%3.3d.ogg", "x.bin"}, "ogg", {"x.bin"}},
      {{"-q", "all", "x"}, "all", {"x"}},
      {{"--", "ogg", "x"}, "mp3", {"ogg", "x"}},
  };
  for (const Case& c : cases) {
    CliOptions o;
    std::string error;
    ASSERT_TRUE(ParseCliOptions(c.args, o, error)) << error;
    EXPECT_EQ(o.command, c.command) << c.args[0];
    EXPECT_EQ(o.inputs, c.inputs) << c.args[0];
  }
  // Every format of the table is a command.
  for (const std::string& word : CliCommandWords()) {
    CliOptions o;
    std::string error;
    ASSERT_TRUE(ParseCliOptions({"--frames", "3", word, "x"}, o, error)) << error;
    EXPECT_EQ(o.command, word);
  }
}

TEST(CliOptions, ShortFlagsCombineAndFormatsLimitAll) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(ParseCliOptions({"all", "-qno", "out/%d", "--formats", "wav,mp3,wav", "x"}, o, error))
      << error;
  EXPECT_TRUE(o.quiet && o.dryRun);
  EXPECT_EQ(o.output, "out/%d");
  ASSERT_EQ(o.formats.size(), 2u);
  EXPECT_EQ(o.formats[0]->command, "wav");
  EXPECT_EQ(o.formats[1]->command, "mp3");
  ASSERT_TRUE(ParseCliOptions({"-nqoout/%d", "x"}, o, error)) << error;
  EXPECT_TRUE(o.quiet && o.dryRun);
  EXPECT_EQ(o.output, "out/%d");
}

TEST(CliOptions, DoubleDashEndsTheOptionsAndALoneDashIsAnInput) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(ParseCliOptions({"-", "--", "--frames", "-o"}, o, error)) << error;
  EXPECT_EQ(o.inputs, (Args{"-", "--frames", "-o"}));
  EXPECT_EQ(o.settings[SettingId::MinFrames], 4);
}

TEST(CliOptions, BoundsOfTheNumbersAreAccepted) {
  const Args accepted[] = {
      {"--frames", "2", "x"},        {"--frames", "1000", "x"}, {"--range", "0", "1", "x"},
      {"--range", "99", "100", "x"}, {"--frames", "+5", "x"},
  };
  for (const Args& args : accepted) {
    CliOptions o;
    std::string error;
    EXPECT_TRUE(ParseCliOptions(args, o, error)) << args[1] << " " << args[2] << ": " << error;
  }
}

// Every setting of the table that has an option of its own: the option sets
// it and nothing else; a number outside its bounds is refused naming it.
TEST(CliOptions, EverySettingsOptionSetsItAlone) {
  for (const SettingRow& row : Settings()) {
    if (row.option.empty()) continue;
    SCOPED_TRACE(std::string(row.option));
    const bool number = !row.values.empty();
    const int expected = number ? row.highest : row.optionSets;
    Args args = {std::string(row.option)};
    if (number) args.push_back(std::to_string(row.highest));
    args.push_back("x");
    CliOptions o;
    std::string error;
    ASSERT_TRUE(ParseCliOptions(args, o, error)) << error;
    for (const SettingRow& other : Settings()) {
      EXPECT_EQ(o.settings[other.id], other.id == row.id ? expected : other.defaultValue);
    }
    if (number) {
      EXPECT_FALSE(ParseCliOptions({args[0], std::to_string(row.lowest - 1), "x"}, o, error));
      EXPECT_NE(error.find(std::string(row.option) + " must be a whole number from " +
                           std::to_string(row.lowest)),
                std::string::npos);
    }
    // --extended turns on every extended rule, and only those.
    ASSERT_TRUE(ParseCliOptions({"--extended", "x"}, o, error)) << error;
    EXPECT_EQ(o.settings[row.id], row.extended ? 1 : row.defaultValue);
  }
}

TEST(CliOptions, UsageErrorsExitWithTwoAndNameTheProblem) {
  struct Case {
    Args args;
    std::string mentions;
  };
  const Case cases[] = {
      {{"--bogus", "x"}, "--bogus"},
      {{"-x", "x"}, "-x"},
      {{"--frames", "1", "x"}, "--frames"},
      {{"--frames", "1001", "x"}, "--frames"},
      {{"--frames", "4x", "x"}, "--frames"},
      {{"--frames", "", "x"}, "--frames"},
      {{"--frames"}, "--frames"},
      {{"--range", "60"}, "--range"},
      {{"--range", "100", "100", "x"}, "--range LOWER"},
      {{"--range", "-1", "50", "x"}, "--range LOWER"},
      {{"--range", "0", "0", "x"}, "--range UPPER"},
      {{"--range", "0", "101", "x"}, "--range UPPER"},
      {{"--range=10", "20", "x"}, "--range"},
      // Each bound within its own, together none left to scan.
      {{"--range", "50", "10", "x"}, "--range の下限(50)が上限(10)以上"},
      {{"--range", "50", "50", "x"}, "--range の下限(50)が上限(50)以上"},
      {{"--lang", "en", "--range", "60", "40", "x"}, "--range: LOWER (60) is not below UPPER (40)"},
      {{"-o"}, "-o"},
      {{"--yes=1", "x"}, "--yes"},
      {{}, "no input"},
      {{"mp3"}, "no input"},
      {{"-o", "out/%d.mp3"}, "no input"},
      {{"ogg", "--tag-ini", "t.ini", "x"}, "--tag-ini"},
      {{"wav", "--tag-ini", "t.ini", "x"}, "--tag-ini"},
      {{"crc", "--tag-ini", "t.ini", "x"}, "--tag-ini"},
      {{"crc", "--json", "x"}, "--json"},
      {{"crc", "-q", "x"}, "--quiet"},
      {{"crc", "--dry-run", "x"}, "--dry-run"},
      {{"crc", "--no-clobber", "x"}, "--no-clobber"},
      {{"crc", "-r", "x"}, "--recursive"},
      {{"--recursive=1", "x"}, "--recursive"},
      {{"--files-from"}, "--files-from"},
      {{"--files-from=", "x"}, "--files-from"},
      {{"--json=1", "x"}, "--json"},
      {{"x", "crc"}, "the command word 'crc' must come before the inputs"},
      // One command word a run: a second one is no input.
      {{"mp3", "ogg", "x.bin"}, "'mp3' is given already, so 'ogg' cannot be"},
      {{"all", "all", "x.bin"}, "'all' is given already, so 'all' cannot be"},
      {{"mp3", "mp3"}, "'mp3' is given already"},
      {{"-q", "crc", "-n", "flac", "x.bin"}, "'crc' is given already, so 'flac' cannot be"},
      {{"-qz", "x"}, "-z in -qz"},
      {{"-o", "", "x"}, "-o needs a non-empty pattern"},
      {{"all", "--formats", "mp3,flacc", "x"}, "'flacc' is no format"},
      {{"all", "--formats=", "x"}, "'' is no format"},
      {{"ogg", "--formats", "mp3", "x"}, "--formats is for the all command only"},
      {{"--frames", "2", "mp4", "x.bin"}, "'mp4' is neither a command"},
      // A word that is no command and names no file.
      {{"mp4", "x.bin"}, "'mp4' is neither a command"},
      {{"Wav2", "x.bin"}, "'Wav2' is neither a command"},
      // The digests and the report of the outputs.
      {{"--hash", "crc32", "x"}, "--hash: 'crc32' is no digest (md5, sha1, sha256)"},
      {{"--hash", "MD5", "x"}, "'MD5' is no digest"},
      {{"--hash", "md5,,sha1", "x"}, "'' is no digest"},
      {{"--hash=sha1,", "x"}, "'' is no digest"},
      {{"--hash", "sha-256", "x"}, "'sha-256' is no digest"},
      {{"crc", "--hash", "md5", "x"}, "--hash is for the carving commands only"},
      {{"crc", "--report", "r.xml", "x"}, "--report is for the carving commands only"},
      {{"--report=", "x"}, "--report needs a file name"},
      {{"-n", "--report", "r.xml", "x.bin"}, "--report is not for --dry-run"},
  };
  for (const Case& c : cases) {
    std::ostringstream out, err;
    int status = RunCliCommand(c.args, out, err, CliTerminal{});
    std::string shown = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(status, 2) << shown;
    EXPECT_EQ(out.str(), "") << shown;
    EXPECT_NE(err.str().find(c.mentions), std::string::npos) << shown << ": " << err.str();
    EXPECT_NE(err.str().find("--help"), std::string::npos) << shown;
  }
}

TEST(CliOptions, ACommandWordAsTheInputIsNoMistypedCommand) {
  // The input "mp3" does not exist: the pass reports it, no hint is given.
  std::ostringstream out, err;
  EXPECT_EQ(RunCliCommand({"mp3", "--", "mp3"}, out, err, CliTerminal{}), 1);
  EXPECT_EQ(err.str(), "入力ファイルが存在しません(mp3)\n");
}

TEST(CliOptions, HelpPrintsTheUsageOnStandardOutput) {
  // Help stops the reading: what follows it is not looked at.
  for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"ogg", "-h"}, Args{"x", "--help"},
                           Args{"-hz"}, Args{"--help", "--bogus"}}) {
    std::ostringstream out, err;
    EXPECT_EQ(RunCliCommand(args, out, err, CliTerminal{}), 0) << args[0];
    EXPECT_EQ(out.str(), CliUsageText());
    EXPECT_EQ(err.str(), "");
  }
  // Every option is described.
  for (const char* option : {"--output",
                             "--range",
                             "--frames",
                             "--no-version-break",
                             "--no-channel-break",
                             "--no-freq-break",
                             "--no-crc-break",
                             "--no-id3v2",
                             "--no-id3v1",
                             "--tag-ini",
                             "--yes",
                             "--abort-on-error",
                             "--help",
                             "--version",
                             "--json",
                             "--quiet",
                             "--files-from",
                             "--dry-run",
                             "--recursive",
                             "--no-clobber",
                             "--full-id3v2",
                             "--split-xing",
                             "--wav-any-chunk",
                             "--ogg-whole",
                             "--ogg-codecs",
                             "--riff-codecs",
                             "--wav-sound",
                             "--mp3-reservoir",
                             "--images",
                             "--extended",
                             "--classic-rules"}) {
    EXPECT_NE(CliUsageText().find(option), std::string::npos) << option;
  }
  // The README shows the usage as it is printed.
  std::ifstream in(std::string(ZANDREL_TEST_DATA) + "/../../README.md");
  const std::string readme((std::istreambuf_iterator<char>(in)), {});
  const size_t begin = readme.find("```\nUsage: zandrel-cli "), end = readme.find("```", begin + 3);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(readme.substr(begin + 4, end - begin - 4), CliUsageText());
}

TEST(CliOptions, VersionPrintsOneLineOnStandardOutput) {
  for (const Args& args : {Args{"--version"}, Args{"wav", "--version"}, Args{"x", "--version"},
                           Args{"--version", "--frames", "1"}}) {
    std::ostringstream out, err;
    EXPECT_EQ(RunCliCommand(args, out, err, CliTerminal{}), 0) << args[0];
    EXPECT_EQ(out.str(), CliVersionText() + "\n");
    EXPECT_TRUE(std::regex_match(out.str(), std::regex("zandrel [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << out.str();
    EXPECT_EQ(err.str(), "");
  }
  // Like any flag it takes no value, and after "--" it is an input name.
  std::ostringstream out, err;
  EXPECT_EQ(RunCliCommand({"--version=1"}, out, err, CliTerminal{}), 2);
  CliOptions o;
  std::string error;
  ASSERT_TRUE(ParseCliOptions({"--", "--version"}, o, error)) << error;
  EXPECT_FALSE(o.version);
  EXPECT_EQ(o.inputs, Args{"--version"});
}

TEST(CliOptions, ExtendedRulesAreOffUnlessGivenOrAllRunsAndExtendedGivesAllNine) {
  const SettingId rules[] = {SettingId::FullId3v2, SettingId::SplitXing,    SettingId::WavAnyChunk,
                             SettingId::OggWhole,  SettingId::OggCodecs,    SettingId::RiffCodecs,
                             SettingId::WavSound,  SettingId::Mp3Reservoir, SettingId::Images};
  struct Case {
    Args args;
    const char* on;  // '1' for each rule on, in the order of `rules`
  } cases[] = {{{}, "000000000"},
               {{"--full-id3v2"}, "100000000"},
               {{"--split-xing"}, "010000000"},
               {{"--wav-any-chunk"}, "001000000"},
               {{"--ogg-whole"}, "000100000"},
               {{"--ogg-codecs"}, "000010000"},
               {{"--riff-codecs"}, "000001000"},
               {{"--wav-sound"}, "000000100"},
               {{"--mp3-reservoir"}, "000000010"},
               {{"--images"}, "000000001"},
               {{"mp3", "--images"}, "000000001"},
               {{"--extended"}, "111111111"},
               // all takes every rule unless --classic-rules, the other commands none.
               {{"all"}, "111111111"},
               {{"wav"}, "000000000"},
               {{"all", "--classic-rules"}, "000000000"},
               {{"--classic-rules", "--ogg-codecs", "all"}, "000010000"},
               {{"all", "--classic-rules", "--extended"}, "111111111"}};
  for (const Case& c : cases) {
    CliOptions o;
    std::string error;
    Args args = c.args;
    args.push_back("in.bin");
    ASSERT_TRUE(ParseCliOptions(args, o, error)) << error;
    for (size_t i = 0; i < std::size(rules); ++i) {
      EXPECT_EQ(o.settings[rules[i]] != 0, c.on[i] == '1')
          << testing::PrintToString(args) << " " << i;
    }
  }
  for (const char* command : {"mp3", "ogg", "crc"}) {
    std::string error;
    CliOptions o;
    EXPECT_FALSE(ParseCliOptions({command, "--classic-rules", "in.bin"}, o, error)) << command;
    EXPECT_EQ(error, "--classic-rules is for the all command only");
  }
  std::string error;
  CliOptions o;
  EXPECT_FALSE(ParseCliOptions({"--extended=1", "in.bin"}, o, error));
  EXPECT_EQ(error, "option --extended takes no value");
}

}  // namespace
