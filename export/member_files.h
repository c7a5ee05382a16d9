// Members of banks as files: every member of a bank written as a file of its own, in a
// folder named after the bank's output without its extension
// ("out/001.fsb" -> "out/001/003_explosion.wem"). A member that is a file by
// itself gets exactly its bytes; 16-bit PCM gets a WAVE header, MPEG frames
// the extension .mp3; other codec data is written raw (.raw), not playable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "carve/engine/member.h"

class Env;
struct StreamReport;

// How a member is written.
struct MemberShape {
  std::string extension;
  bool wave = false;     // after a WAVE header of 16-bit PCM
  bool playable = true;  // a player opens it
  std::string reason;    // why not, when not
};
MemberShape ShapeOfMember(const Member& member);

// A name from a bank's name table made safe for a file name: '/', '\\',
// control bytes and ".." become '_', at most kMostNameBytes bytes (no
// UTF-8 character cut).
inline constexpr size_t kMostNameBytes = 64;
std::string SafeMemberName(const std::string& name);

// The folder of a bank's members: its output without the extension.
std::string MemberFolder(const std::string& bankOutput);
// "003" or "003_name" and the extension.
std::string MemberFileName(const Member& member, const MemberShape& shape);

// The 44 bytes of a WAVE header for `dataBytes` of 16-bit PCM.
std::vector<uint8_t> WaveHeader(int64_t rate, int64_t channels, int64_t dataBytes);

// What became of one member.
struct MemberOutcome {
  Member member;
  MemberShape shape;
  std::string output;  // empty in a dry run or when no bank was written
  std::string error;   // the failure, in the source language
};

// Writes the members of the bank `report` wrote (read back from its output)
// through `env`, each as an output that appears whole or not at all and
// never replaces a file. A dry run or a failed bank writes nothing.
std::vector<MemberOutcome> WriteMembers(const StreamReport& report, Env& env);

// Writes the one member `member` of the bank `report` wrote to `path`, in
// the shape WriteMembers gives it, as an output that appears whole or not at
// all and never replaces a file. The failure, in the source language, or
// nothing.
std::string WriteMember(const StreamReport& report, const Member& member, const std::string& path,
                        Env& env);

// The kind DecodePcm() and DecodeToWav() read a member written in `shape` as.
std::string DecodeKindOfMember(const MemberShape& shape);
