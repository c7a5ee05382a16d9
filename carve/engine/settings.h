// The table of settings: one row a setting of the carvers, with its default
// and bounds, its command-line option and help, the window's control that
// holds it, and whether it is one of the extended rules. The command line's
// options, its usage and manual page, the window's extended tab, the hosts
// and the tests all read it; a new setting is one row here and its use.
#pragma once

#include <array>
#include <span>
#include <string_view>

enum class SettingId {
  LimitRange,  // scan LowerPercent .. UpperPercent of each input only
  LowerPercent,
  UpperPercent,
  MinFrames,  // consecutive frames (Ogg: pages) a stream has at least
  BreakOnVersion,
  BreakOnChannel,
  BreakOnFreq,
  BreakOnCrc,
  CopyId3v2,
  CopyId3v1,
  FullId3v2,
  SplitXing,
  WavAnyChunk,
  OggWhole,
  OggCodecs,
  RiffCodecs,
  WavSound,
  Mp3Reservoir,
  Images,  // E01 images and split raw sets read as one input
  kCount
};

inline constexpr size_t kSettingCount = static_cast<size_t>(SettingId::kCount);

struct SettingRow {
  SettingId id;
  int defaultValue, lowest, highest;  // a switch: 0 or 1
  // The command line: an option of its own (empty: one set through another
  // option, as --range sets the scan window). A switch's option sets
  // `optionSets`; a number's takes one value, `values` names it.
  std::string_view option;
  int optionSets;
  std::string_view values;
  std::string_view help;  // its text in --help, without the bounds of a number
  // The window: the object name of the control that holds it, and the
  // control's text where the window makes it from this row.
  std::string_view control;
  std::string_view label;
  // One of the extended rules: off by default, on the extended tab, and
  // turned on by --extended with the others.
  bool extended;
};

std::span<const SettingRow> Settings();
const SettingRow& SettingOf(SettingId id);

// A value for every setting, the defaults to begin with.
class SettingValues {
 public:
  SettingValues();
  int operator[](SettingId id) const { return values_[static_cast<size_t>(id)]; }
  void set(SettingId id, int value) { values_[static_cast<size_t>(id)] = value; }
  // Turns every extended rule on (--extended; `all` unless --classic-rules).
  void takeExtendedRules();

 private:
  std::array<int, kSettingCount> values_;
};
