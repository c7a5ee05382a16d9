#include "output/naming.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/io_error.h"

namespace {

// The stream, base name and extension of the worked examples.
std::string Expand(const std::string& pattern) {
  return ExpandOutputName(pattern, "track.bin", 7, "mp3");
}

std::string Blanks(size_t n) { return std::string(n, ' '); }

}  // namespace

TEST(ExtractBaseName, TakesThePartAfterTheLastSlash) {
  EXPECT_EQ(ExtractBaseName("/data/in/track.bin"), "track.bin");
  EXPECT_EQ(ExtractBaseName("in/sub/track.bin"), "track.bin");
  EXPECT_EQ(ExtractBaseName("/track.bin"), "track.bin");
  EXPECT_EQ(ExtractBaseName("in/"), "");
}

TEST(ExtractBaseName, IsEmptyWithoutADirectory) {
  EXPECT_EQ(ExtractBaseName("track.bin"), "");
  EXPECT_EQ(ExtractBaseName(""), "");
}

TEST(ExtractBaseName, TreatsBackslashAsAnOrdinaryByte) {
  EXPECT_EQ(ExtractBaseName("a\\b/c"), "c");
  EXPECT_EQ(ExtractBaseName("dir/a\\b"), "a\\b");
  EXPECT_EQ(ExtractBaseName("a\\b"), "");
  // A multi-byte name keeps all its bytes.
  EXPECT_EQ(ExtractBaseName("dir/\xE6\x9B\xB2.bin"), "\xE6\x9B\xB2.bin");
}

TEST(ExpandOutputName, WorkedExamples) {
  EXPECT_EQ(Expand("output/%3.3d.mp3"), "output/007.mp3");
  EXPECT_EQ(Expand("%d.mp3"), "7.mp3");
  EXPECT_EQ(Expand("%5.3d"), Blanks(2) + "007");
  EXPECT_EQ(Expand("%.2d"), "07");
  EXPECT_EQ(Expand("%10d"), Blanks(9) + "7");
  EXPECT_EQ(Expand("%03d"), Blanks(2) + "7");
  EXPECT_EQ(Expand("%f_%2.2d.%e"), "track.bin_07.mp3");
  EXPECT_EQ(Expand("%12f"), Blanks(3) + "track.bin");
  EXPECT_EQ(Expand("%3.1f"), "track.bin");
  EXPECT_EQ(Expand("100%%_%d"), "100%_7");
  EXPECT_EQ(Expand("%x%d"), "7");
  EXPECT_EQ(Expand("%3%d"), "d");
  EXPECT_EQ(Expand("a%3.3"), "a");
  EXPECT_EQ(Expand("a%"), "a");
}

TEST(ExpandOutputName, LiteralBytesAndPercentPairs) {
  EXPECT_EQ(Expand("same-name.mp3"), "same-name.mp3");
  EXPECT_EQ(Expand(""), "");
  EXPECT_EQ(Expand("%%d"), "%d");
  EXPECT_EQ(Expand("%%%d"), "%7");
  EXPECT_EQ(Expand("%%%%"), "%%");
  EXPECT_EQ(Expand("\xE5\x87\xBA%d"),
            "\xE5\x87\xBA"
            "7");
}

TEST(ExpandOutputName, WidthsAndPrecisions) {
  EXPECT_EQ(Expand("%9d"), Blanks(8) + "7");
  EXPECT_EQ(Expand("%.9d"), "000000007");
  EXPECT_EQ(Expand("%.d"), "7");
  EXPECT_EQ(Expand("%1d"), "7");
  EXPECT_EQ(ExpandOutputName("%3.3d", "", 12345, ""), "12345");
  EXPECT_EQ(ExpandOutputName("%6.4d", "", 12, ""), "  0012");
  EXPECT_EQ(ExpandOutputName("%d", "", 0, ""), "0");
  EXPECT_EQ(ExpandOutputName("%.3d", "", -7, ""), "-007");
  EXPECT_EQ(ExpandOutputName("%5e|%1e|%e", "", 1, "ext"), "  ext|ext|ext");
}

TEST(ExpandOutputName, ConversionsEndingThePattern) {
  EXPECT_EQ(Expand("out%"), "out");
  EXPECT_EQ(Expand("out%3"), "out");
  EXPECT_EQ(Expand("out%3."), "out");
  EXPECT_EQ(Expand("out%3.3"), "out");
  EXPECT_EQ(Expand("out%."), "out");
}

TEST(ExpandOutputName, UnknownConversionsYieldNothing) {
  EXPECT_EQ(Expand("a%Db"), "ab");
  EXPECT_EQ(Expand("a%Fb"), "ab");
  EXPECT_EQ(Expand("a%Eb"), "ab");
  EXPECT_EQ(Expand("a%-5db"), "a5db");
  EXPECT_EQ(Expand("a%+db"), "adb");
  EXPECT_EQ(Expand("a% db"), "adb");
  EXPECT_EQ(Expand("a%3.2sb"), "ab");
  EXPECT_EQ(Expand("a%3.2.1d"), "a1d");
}

TEST(ExpandOutputName, EmptyBaseNamePadsWithBlanksOnly) {
  std::string base = ExtractBaseName("track.bin");
  EXPECT_EQ(ExpandOutputName("%f", base, 1, "mp3"), "");
  EXPECT_EQ(ExpandOutputName("%12f", base, 1, "mp3"), Blanks(12));
}

TEST(ExpandOutputName, HugeFieldsStayBounded) {
  std::string wide = Expand("%999999999d");
  EXPECT_EQ(wide.size(), static_cast<size_t>(kMaxNameField));
  EXPECT_EQ(wide.back(), '7');
  EXPECT_EQ(wide.find_first_not_of(' '), wide.size() - 1);

  std::string precise = Expand("%.99999999999999999999d");
  EXPECT_EQ(precise.size(), static_cast<size_t>(kMaxNameField));
  EXPECT_EQ(precise.find_first_not_of('0'), precise.size() - 1);

  EXPECT_EQ(Expand("%99999999999999999999f").size(), static_cast<size_t>(kMaxNameField));
  // Many huge conversions grow the name only by their bounded fields.
  std::string many;
  for (int i = 0; i < 10; ++i) many += "%99999999999999999999.99999999999999999999d";
  EXPECT_EQ(Expand(many).size(), 10 * static_cast<size_t>(kMaxNameField));
}

TEST(ReplaceLastThree, ReplacesTheLastThreeBytes) {
  EXPECT_EQ(ReplaceLastThree("output/%3.3d.mp3", "ogg"), "output/%3.3d.ogg");
  EXPECT_EQ(ReplaceLastThree("out/%3d", "ogg"), "out/ogg");
  EXPECT_EQ(ReplaceLastThree("mp3", "wav"), "wav");
}

TEST(ReplaceLastThree, ShortPatternsAreReplacedWhole) {
  EXPECT_EQ(ReplaceLastThree("", "ogg"), "ogg");
  EXPECT_EQ(ReplaceLastThree("a", "ogg"), "ogg");
  EXPECT_EQ(ReplaceLastThree("ab", "ogg"), "ogg");
}

TEST(FormatWithNumber, IntegerConversions) {
  EXPECT_EQ(FormatWithNumber("output/%3.3d.ogg", 7), "output/007.ogg");
  EXPECT_EQ(FormatWithNumber("%d", 42), "42");
  EXPECT_EQ(FormatWithNumber("%5d|", 42), "   42|");
  EXPECT_EQ(FormatWithNumber("%-5d|", 42), "42   |");
  EXPECT_EQ(FormatWithNumber("%-5.3d|", 7), "007  |");
  EXPECT_EQ(FormatWithNumber("%.4u", 12), "0012");
  EXPECT_EQ(FormatWithNumber("%x", 255), "FF");
  EXPECT_EQ(FormatWithNumber("%4.3x", 171), " 0AB");
  EXPECT_EQ(FormatWithNumber("%.d", 3), "3");
}

TEST(FormatWithNumber, NegativeNumbersUnderUnsignedConversions) {
  EXPECT_EQ(FormatWithNumber("%d", -5), "-5");
  EXPECT_EQ(FormatWithNumber("%u", -1), "4294967295");
  EXPECT_EQ(FormatWithNumber("%x", -1), "FFFFFFFF");
}

TEST(FormatWithNumber, LiteralsAndPercentPairs) {
  EXPECT_EQ(FormatWithNumber("out/ogg", 3), "out/ogg");
  EXPECT_EQ(FormatWithNumber("", 3), "");
  EXPECT_EQ(FormatWithNumber("100%%_%d", 3), "100%_3");
  EXPECT_EQ(FormatWithNumber("%%d", 3), "%d");
}

TEST(FormatWithNumber, HugeFieldsStayBounded) {
  std::string wide = FormatWithNumber("%99999999999999999999d", 1);
  EXPECT_EQ(wide.size(), static_cast<size_t>(kMaxNameField));
  EXPECT_EQ(FormatWithNumber("%-.99999999999999999999x", 1).size(),
            static_cast<size_t>(kMaxNameField));
}

TEST(FormatWithNumber, InvalidPatternsThrowWithTheirMessage) {
  for (std::string pattern : {"%s", "out/%3.3s.ogg", "%f", "%e", "%D", "%X", "a%", "%5", "%5.",
                              "%d%d", "%d_%x", "%3%", "%-%", "%+d", "% d", "%*d"}) {
    try {
      FormatWithNumber(pattern, 1);
      ADD_FAILURE() << "no error for " << pattern;
    } catch (const IoError& e) {
      EXPECT_STREQ(e.what(),
                   ("Format '" + pattern + "' invalid or incompatible with argument").c_str());
      EXPECT_EQ(e.code(), kIoInvalidArgument);
    }
  }
}

TEST(NameWithExtension, ReplacesTheLastLiteralDotOrAppendsOne) {
  struct Case {
    const char* pattern;
    const char* name;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"out/%3.3d.mp3", "out/007.flac"},
           {"out/%3.3d", "out/007.flac"},         // the '.' of a conversion is none
           {"out.d/%d", "out.d/7.flac"},          // nor one of a folder
           {"out/a.b.%d.wav", "out/a.b.7.flac"},  // only the last one is replaced
           {"out/%f-%d.", "out/track.bin-7.flac"},
           {"out/%d%%.x", "out/7%.flac"},
           {"out/%d.%e", "out/7.flac"},
           {"", ".flac"},
       }) {
    EXPECT_EQ(NameWithExtension(c.pattern, "track.bin", 7, "flac"), c.name) << c.pattern;
  }
}

// "%o" becomes the offset in hexadecimal; every other byte and conversion
// stays as written, for the naming that follows to read.
TEST(ExpandOffset, ReplacesOnlyTheOffsetConversions) {
  struct Case {
    const char* pattern;
    int64_t offset;
    const char* expanded;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"out/%o.mp3", 0x1F400, "out/1F400.mp3"},
           {"out/%8.8o_%3.3d.%e", 0x1F400, "out/0001F400_%3.3d.%e"},
           {"%6o|%-o", 0xAB, "    AB|%-o"},   // a width pads; '-' is no flag here
           {"100%%o/%f%o", 0, "100%%o/%f0"},  // "%%o" is a percent sign and an o
           {"%o%o", int64_t{1} << 40, "1000000000010000000000"},
           {"x%", 5, "x%"},
           {"%3.", 5, "%3."},
       }) {
    EXPECT_EQ(ExpandOffset(c.pattern, c.offset), c.expanded) << c.pattern;
  }
  // Through the expansions that follow, a pattern without "%o" names as before.
  EXPECT_EQ(NameWithExtension(ExpandOffset("out/%f_%o.mp3", 0x10), "a.bin", 2, "flac"),
            "out/a.bin_10.flac");
  EXPECT_EQ(ExpandOffset("out/%3.3d.mp3", 0x10), "out/%3.3d.mp3");
}

TEST(NameBeside, NumbersBeforeTheExtensionOfTheLastPart) {
  struct Case {
    const char* name;
    int64_t n;
    const char* beside;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"out/001.mp3", 2, "out/001_2.mp3"},
           {"out/001.mp3", 12, "out/001_12.mp3"},
           {"out/a.b.flac", 3, "out/a.b_3.flac"},  // only the last '.'
           {"out.d/x", 2, "out.d/x_2"},            // a '.' of a folder is none
           {"out/.hidden", 2, "out/.hidden_2"},    // nor one that begins the part
           {".mp3", 2, ".mp3_2"},
           {"x", 2, "x_2"},
           {"out/", 2, "out/_2"},
       }) {
    EXPECT_EQ(NameBeside(c.name, c.n), c.beside) << c.name;
  }
}

TEST(EndsInPlainText, TellsWhetherTheLastBytesCutAConversion) {
  // Whether the last three bytes are plain text as the Ogg formatter reads
  // the pattern ('-' a flag) and as the MP3 expander reads it ("%-" whole).
  struct Case {
    const char* pattern;
    bool plainAsNumber;
    bool plainAsOutputName;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"output/%3.3d.mp3", true, true},
           {"out/%3.3d.%e", false, false},
           {"out/%3.3d", false, false},  // ".3d" is the conversion's
           {"out/x%d", false, false},
           {"out/%d%%", false, false},
           {"out/%d%%abc", true, true},
           {"out/%-3d.ogg", true, true},
           {"out/x%-12d", false, true},    // "%-" and then "12d"
           {"out/%e%-.mp3", false, true},  // "%-" and then ".mp3"
           {"out/%-.3d", false, true},     // "%-" and then ".3d"
           {"out/%-d", false, false},      // "-d" as Ogg reads it, "%-" as MP3 does
           {"ab", true, true},             // shorter, with no conversion
           {"%d", false, false},
           {"", true, true},
       }) {
    EXPECT_EQ(EndsInPlainText(c.pattern, 3, PatternReading::Number), c.plainAsNumber) << c.pattern;
    EXPECT_EQ(EndsInPlainText(c.pattern, 3, PatternReading::OutputName), c.plainAsOutputName)
        << c.pattern;
  }
}

TEST(EscapeControls, ShowsControlBytesEscapedAndEveryOtherByteAsItIs) {
  struct Case {
    std::string text;
    std::string shown;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"out/001.mp3", "out/001.mp3"},
           {"a\\nb\\x1B", "a\\nb\\x1B"},  // a backslash is a byte of the name
           {"\xE6\x9B\xB2 \x81\x5C\xFF~", "\xE6\x9B\xB2 \x81\x5C\xFF~"},
           {"x\n[999($0-$F)]", "x\\n[999($0-$F)]"},
           {"\r\t\x1b[2J\x7f", "\\r\\t\\x1B[2J\\x7F"},
           {std::string("a\0b\x1f", 4), "a\\x00b\\x1F"},
           {"", ""},
       }) {
    EXPECT_EQ(EscapeControls(c.text), c.shown) << c.shown;
  }
}
