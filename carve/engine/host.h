// What the engine needs from the program that runs it: a sink for what it
// finds (the log, the reports, the progress), the settings of the table of
// settings, read live at the moment of use, the event pump, the run flag and
// one question for a failure. The window's host reads the window's controls;
// the command line and the tests implement it on their own.
#pragma once

#include <cstdint>
#include <string>

#include "carve/engine/settings.h"
#include "carve/engine/sink.h"

class TagIni;

enum class BoxType { Warning, Error };
enum class BoxButtons { Ok, YesNo, AbortIgnore };
// None: the box was closed without pressing a button.
enum class BoxAnswer { None, Ok, Yes, No, Abort, Ignore };
// In the order of their settings, BreakOnVersion and on.
enum class Sensitize { Version, Channel, Freq, Crc };

// A failure put to the user as one box.
struct FailureQuestion {
  std::string text;  // what the box says; it does not name `path`
  std::string path;  // the file or directory it concerns; empty when unknown
  int code = 0;      // the failure's code, the box's help context
  BoxType type = BoxType::Error;
  BoxButtons buttons = BoxButtons::Ok;
  bool beep = false;  // the box comes with a beep
};

class Host : public Sink {
 public:
  // The value of a setting of the table of settings, read at the moment of
  // use (a window's control may change during a run); the default one
  // unless the host says otherwise.
  virtual int Setting(SettingId id) { return SettingOf(id).defaultValue; }

  // Scan window: whole file unless LimitRange(); then LowerPercent() ..
  // UpperPercent() of the size.
  bool LimitRange() { return Setting(SettingId::LimitRange) != 0; }
  int LowerPercent() { return Setting(SettingId::LowerPercent); }
  int UpperPercent() { return Setting(SettingId::UpperPercent); }
  // Minimum frames (Ogg: pages) for a stream to be kept.
  int MinFrames() { return Setting(SettingId::MinFrames); }
  // Whether a change of that kind ends an MPEG stream.
  bool SensitizeOn(Sensitize what) {
    return Setting(static_cast<SettingId>(static_cast<int>(SettingId::BreakOnVersion) +
                                          static_cast<int>(what))) != 0;
  }
  bool CopyID3v1() { return Setting(SettingId::CopyId3v1) != 0; }
  bool CopyID3v2() { return Setting(SettingId::CopyId3v2) != 0; }
  // Whether the streams found from now on get their tags from the run's tag
  // INI file, where the run reads one (the option may change during a run).
  virtual bool TagIniOn() { return true; }
  // False once the run has been cancelled.
  virtual bool Running() = 0;
  // Told of each input of a run before its passes; false passes it over.
  virtual bool InputBegins(const std::string& /*input*/) { return true; }

  // Repaints the window and handles pending events (a cancel may arrive).
  virtual void ProcessEvents() = 0;
  // Puts a failure to the user and returns the answer. Where the user may
  // answer a stream's failure (Abort or Ignore) for the rest of the run, the
  // host gives that answer without asking again until the run ends.
  virtual BoxAnswer Failure(const FailureQuestion& question) = 0;

  // The engine pumps events and updates progress at most this often while
  // walking; 0 pumps at every block and every probe.
  virtual int PumpIntervalMs() { return 25; }

  // The extended detection rules, each off unless the user turns it on.
  // Full ID3v2: the tag before an MP3 run is found by its whole size, up to
  // 16 MiB before the run.
  bool FullId3v2() { return Setting(SettingId::FullId3v2) != 0; }
  // Split Xing: an encoder header (Xing/Info/VBRI) ends MP3 runs at file
  // boundaries.
  bool SplitXing() { return Setting(SettingId::SplitXing) != 0; }
  // WAVE any chunk: the "fmt " chunk may come after other chunks.
  bool WavAnyChunk() { return Setting(SettingId::WavAnyChunk) != 0; }
  // Ogg whole: a run from a first page to a last page is kept whatever its
  // page count, and its length is shown from the last granule position.
  bool OggWhole() { return Setting(SettingId::OggWhole) != 0; }
  // Ogg codecs: the logical streams of an Ogg run are followed by serial
  // number with every page's CRC checked, and named by their codec.
  bool OggCodecs() { return Setting(SettingId::OggCodecs) != 0; }
  // RIFF codecs: RIFX (big-endian) WAVE files are found too, and RIFF
  // outputs are named by the codec of their format chunk.
  bool RiffCodecs() { return Setting(SettingId::RiffCodecs) != 0; }
  // WAVE sound: a RIFF file is a stream only when its format chunk
  // describes sound and its data chunk holds bytes.
  bool WavSound() { return Setting(SettingId::WavSound) != 0; }
  // MP3 reservoir: a Layer III frame whose side information no encoder
  // writes ends its run (carve/formats/mpeg/mpeg_side_info.h).
  bool Mp3Reservoir() { return Setting(SettingId::Mp3Reservoir) != 0; }
  // Images: an EWF image's or a split raw set's first segment is read as
  // the whole image (platform/image_input.h).
  bool Images() { return Setting(SettingId::Images) != 0; }
};
