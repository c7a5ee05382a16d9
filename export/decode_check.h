// What FFmpeg is not asked to decode, and why: looked at before it opens a
// file, from the kind and the first bytes, so that a codec it would read
// wrongly (or not at all) fails with a reason a modder can act on.
#pragma once

#include <string>

#include "carve/engine/member.h"

class Env;
struct MemberShape;

// Why the file `path` of the kind `kind` (a row of the table of formats, or
// a member's extension) is not decoded, in the source language of context
// "PcmDecode"; empty when FFmpeg may try. A file that cannot be read is left
// to FFmpeg to fail on.
std::string WhyNotDecoded(const std::string& path, const std::string& kind, Env& env);

// Why a member written as `shape` is not decoded whatever its file holds
// (encrypted, codec data without a container), or empty.
std::string WhyMemberNotDecoded(const Member& member, const MemberShape& shape);
