// The JSON Lines of zandrel-cli --json: one object for the begin and the end
// of every pass, for every stream and for every failure outside a stream.
#pragma once

#include <string>

#include "carve/engine/host.h"

struct MemberOutcome;
struct WavExport;

// The line (without its line end) for a pass's begin, end or failure.
std::string PassJsonLine(const PassReport& report);
// The line (without its line end) for a stream; with its decoding
// (--decode), "decoded" (the WAVE written) or "decode_error" (why none was,
// in the source language like every failure of a report).
std::string StreamJsonLine(const StreamReport& report, const WavExport* decoded = nullptr);
// The line (without its line end) for a member of the bank `bank`
// (--members), with its decoding as a stream's.
std::string MemberJsonLine(const StreamReport& bank, const MemberOutcome& member,
                           const WavExport* decoded = nullptr);
// The line (without its line end) for a failure before any pass: `input`
// names what could not be read.
std::string ErrorJsonLine(const std::string& input, const std::string& error);
// The line for an input a cancelled run did not read.
std::string NotReadJsonLine(const std::string& input);
