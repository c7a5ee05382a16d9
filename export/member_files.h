// Members of banks as files: every member of a bank written as a file of its own, in a
// folder named after the bank's output without its extension
// ("out/001.fsb" -> "out/001/003_explosion.wem"). A member that is a file by
// itself gets exactly its bytes; PCM gets a WAVE header (little-endian, and
// unsigned 8-bit) or an AIFF header (big-endian, and signed 8-bit), MS ADPCM
// and Xbox IMA ADPCM a WAVE header and XMA a RIFF XMA2 one
// (export/member_headers.h), DSP ADPCM becomes a BRSTM (export/dsp_stream.h),
// MPEG frames the extension .mp3;
// other codec data is written raw (.raw), not playable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "carve/engine/member.h"
#include "export/containers.h"
#include "output/digests.h"

class Env;
struct StreamReport;

// The header a member's bytes are written after.
// Riff: one made for the member itself (RiffHeaderOf(), member_headers.h).
// Brstm: the member's bytes rearranged in a BRSTM (BrstmOf(), dsp_stream.h).
enum class MemberHeader { None, Wave, Aiff, Riff, Brstm };

// How a member is written.
struct MemberShape {
  std::string extension;
  MemberHeader header = MemberHeader::None;
  PcmLayout pcm;              // the samples after a header
  std::vector<uint8_t> riff;  // the header, for MemberHeader::Riff
  bool playable = true;       // a player opens it
  std::string reason;         // why not, when not
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

// The header written before a member of `dataBytes` (none: empty).
std::vector<uint8_t> HeaderOf(const MemberShape& shape, int64_t dataBytes);

// What became of one member.
struct MemberOutcome {
  Member member;
  MemberShape shape;
  std::string output;  // empty in a dry run or when no bank was written
  std::string error;   // the failure, in the source language
  Digests digests;     // those `hashes` asked for, of a member written
};

// Writes the members of the bank `report` wrote (read back from its output)
// through `env`, each as an output that appears whole or not at all and
// never replaces a file. A dry run or a failed bank writes nothing. Each
// member written gets the digests of `hashes` (HashKind bits).
std::vector<MemberOutcome> WriteMembers(const StreamReport& report, Env& env, unsigned hashes = 0);

// Writes the one member `member` of the bank `report` wrote to `path`, in
// the shape WriteMembers gives it, as an output that appears whole or not at
// all and never replaces a file. The failure, in the source language, or
// nothing.
std::string WriteMember(const StreamReport& report, const Member& member, const std::string& path,
                        Env& env);
