// What the engine needs from the program that runs it: the settings, read
// live at the moment of use, the log, the progress display, the event pump,
// the run flag and the message boxes. The window implements it by reading
// its controls; the command line and the tests implement it on their own.
#pragma once

#include <string>

class FileIdentities;
class TagIni;

enum class BoxType { Warning, Error };
enum class BoxButtons { Ok, YesNo, AbortIgnore };
// None: the box was closed without pressing a button.
enum class BoxAnswer { None, Ok, Yes, No, Abort, Ignore };
enum class Sensitize { Version, Channel, Freq, Crc };

class Host {
 public:
  virtual ~Host() = default;

  // Scan window: whole file unless LimitRange(); then LowerPercent() ..
  // UpperPercent() of the size.
  virtual bool LimitRange() = 0;
  virtual int LowerPercent() = 0;
  virtual int UpperPercent() = 0;
  // Minimum frames (Ogg: pages) for a stream to be kept.
  virtual int MinFrames() = 0;
  // Whether a change of that kind ends an MPEG stream.
  virtual bool SensitizeOn(Sensitize what) = 0;
  virtual bool CopyID3v1() = 0;
  virtual bool CopyID3v2() = 0;
  // The tag INI file of the run when the tag INI option is on for the next
  // stream (ticked now, and the run holds a reader); otherwise null.
  virtual const TagIni* ActiveTagIni() = 0;
  // False once the run has been cancelled.
  virtual bool Running() = 0;
  // The inputs of the whole run, taken when it began, or null: no output is
  // written over any of them.
  virtual const FileIdentities* RunInputs() { return nullptr; }

  virtual void AddLog(const std::string& line) = 0;
  // Shows a progress position 0..100 at once.
  virtual void SetProgress(int position) = 0;
  // Repaints the window and handles pending events (a cancel may arrive).
  virtual void ProcessEvents() = 0;
  virtual void Beep() = 0;
  virtual BoxAnswer MessageBox(BoxType type, const std::string& text, BoxButtons buttons,
                               int helpContext) = 0;
  // Told, just before the box of a failure, the file or directory that
  // failure concerns (empty when unknown). The box text does not name it.
  virtual void FailureConcerns(const std::string& /*path*/) {}

  // The engine pumps events and updates progress at most this often while
  // walking; 0 pumps at every block and every probe.
  virtual int PumpIntervalMs() { return 25; }
};
