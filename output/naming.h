// Output file names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The part of `path` after its last '/'; empty when there is none. A
// backslash is an ordinary byte.
std::string ExtractBaseName(const std::string& path);

// Expands the output name pattern: "%%", "%W.Pd" (number), "%Wf" (base name),
// "%We" (extension); unknown conversions yield nothing. Never fails. Widths
// and precisions are held to kMaxNameField, so no pattern can make a name
// that exhausts memory.
std::string ExpandOutputName(const std::string& pattern, const std::string& baseName,
                             int64_t number, const std::string& extension);

constexpr int64_t kMaxNameField = 4096;

// The default output pattern below a directory: `dir` with every '%'
// doubled (so that it names that very directory), one '/', then
// "output/%3.3d.mp3".
std::string DefaultOutputPattern(const std::string& dir);

// The pattern of an output folder given as one (`-o DIR/`): `dir` with
// every '%' doubled and one '/', then "%f_%3.3d.%e": each stream inside it,
// named by its input's base name and number and its format's extension, so
// that streams of different inputs do not collide.
std::string FolderOutputPattern(const std::string& dir);

// The pattern with its last three bytes replaced by `ext` (three bytes); a
// pattern shorter than three bytes is replaced whole.
std::string ReplaceLastThree(const std::string& pattern, const std::string& ext);

// How a pattern's conversions are read: as ExpandOutputName reads them, where
// "%-" is a whole conversion (of nothing), or as FormatWithNumber reads them,
// where '-' after '%' is a flag of the conversion that follows.
enum class PatternReading { OutputName, Number };

// True when the last `count` bytes of `pattern`, read as `reading` says, are
// plain text: no part of a conversion nor of "%%" (a shorter pattern: when it
// holds none). Replacing them then leaves every conversion whole.
bool EndsInPlainText(const std::string& pattern, size_t count, PatternReading reading);

// The pattern with the extension of its last path component replaced by
// `ext`: the text after the last '.' that is no part of a conversion
// ("%3.3d" holds none), or "." + `ext` appended when there is no such '.'.
std::string ReplaceExtension(const std::string& pattern, const std::string& ext);

// The output name of stream `number` for a format whose files take the
// extension `ext`: the pattern's extension replaced, then expanded as the MP3
// carver expands it, with "%e" giving `ext`.
std::string NameWithExtension(const std::string& pattern, const std::string& baseName,
                              int64_t number, const std::string& ext);

// The pattern with each "%W.Po" conversion (read as ExpandOutputName reads
// conversions) replaced by `offset` in upper-case hexadecimal, at least P
// digits, padded with blanks to W characters; every other byte and
// conversion is left as it is. The newer formats' names, and under `all`
// every format's, go through it before their own expansion; the classic
// formats' expansions outside `all` never see it, so a classic pattern names
// exactly as it always did.
std::string ExpandOffset(const std::string& pattern, int64_t offset);

// The name beside `name` that a later output takes when the run has written
// `name` already: "_" and `n` before the extension of its last part (the
// text from its last '.', unless that '.' begins the part), or after it when
// it has none: "out/001.mp3", 2 gives "out/001_2.mp3".
std::string NameBeside(const std::string& name, int64_t n);

// Formats `pattern` with one integer argument the way the Ogg carver names
// its files: conversions "d", "u" and "x" with an optional "-", a width and a
// precision, and "%%". Any other conversion, or more than one conversion,
// throws IoError with a message that names the pattern.
std::string FormatWithNumber(const std::string& pattern, int64_t number);

// `text` (a name, or a message that holds one) as a log line or a box shows
// it: every control byte (below 0x20, and 0x7F) as an escape, "\n", "\r",
// "\t", or "\x" and two upper-case hex digits ("\x1B"), so that a name never
// breaks a line in two nor steers a terminal. Every other byte, a backslash
// too, stays as it is: a text without control bytes is shown unchanged.
std::string EscapeControls(std::string_view text);
