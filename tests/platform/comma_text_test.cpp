#include "platform/comma_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using Names = std::vector<std::string>;

TEST(ParseInputList, TextWithoutQuoteOrCommaIsOneEntry) {
  EXPECT_EQ(ParseInputList(""), Names{""});
  EXPECT_EQ(ParseInputList("/my dir/a.bin"), Names{"/my dir/a.bin"});
  EXPECT_EQ(ParseInputList("  lead and trail  "), Names{"  lead and trail  "});
  EXPECT_EQ(ParseInputList("\xE6\x9B\xB2 1.bin"), Names{"\xE6\x9B\xB2 1.bin"});
}

TEST(ParseInputList, UnquotedEntriesEndAtBlanksAndCommas) {
  EXPECT_EQ(ParseInputList("a.bin,b.bin"), (Names{"a.bin", "b.bin"}));
  EXPECT_EQ(ParseInputList("/my dir/a.bin,b.bin"), (Names{"/my", "dir/a.bin", "b.bin"}));
  EXPECT_EQ(ParseInputList("a\tb,c"), (Names{"a", "b", "c"}));
  EXPECT_EQ(ParseInputList("a\"b"), Names{"a\"b"});
  EXPECT_EQ(ParseInputList("a\"b c\",d"), (Names{"a\"b", "c\"", "d"}));
}

TEST(ParseInputList, QuotedEntriesKeepBlanksCommasAndDoubledQuotes) {
  EXPECT_EQ(ParseInputList("\"/my dir/a.bin\",b.bin"), (Names{"/my dir/a.bin", "b.bin"}));
  EXPECT_EQ(ParseInputList("\"a,b\""), Names{"a,b"});
  EXPECT_EQ(ParseInputList("\"say \"\"hi\"\"\",x"), (Names{"say \"hi\"", "x"}));
  EXPECT_EQ(ParseInputList("\"\"\"\""), Names{"\""});
  EXPECT_EQ(ParseInputList("\"\""), Names{""});
}

TEST(ParseInputList, UnclosedQuoteRunsToTheEnd) {
  EXPECT_EQ(ParseInputList("\"a b, c"), Names{"a b, c"});
  EXPECT_EQ(ParseInputList("x,\"a \"\""), (Names{"x", "a \""}));
  EXPECT_EQ(ParseInputList("\""), Names{""});
}

TEST(ParseInputList, TextAfterAClosingQuoteStartsANewEntry) {
  EXPECT_EQ(ParseInputList("\"a\"b"), (Names{"a", "b"}));
  EXPECT_EQ(ParseInputList("\"a\" b"), (Names{"a", "b"}));
  EXPECT_EQ(ParseInputList("\"a\"\"b\""), Names{"a\"b"});
  EXPECT_EQ(ParseInputList("\"a\" \"b\""), (Names{"a", "b"}));
}

TEST(ParseInputList, BlanksAndControlBytesBetweenEntriesAreSkipped) {
  EXPECT_EQ(ParseInputList("  a ,  b  "), (Names{"a", "b"}));
  EXPECT_EQ(ParseInputList("\t\r\n a,\x01\x1F b"), (Names{"a", "b"}));
  EXPECT_EQ(ParseInputList(" \"a\" , \"b\" "), (Names{"a", "b"}));
}

TEST(ParseInputList, EmptyEntriesFromCommas) {
  EXPECT_EQ(ParseInputList("a,,b"), (Names{"a", "", "b"}));
  EXPECT_EQ(ParseInputList("a, ,b"), (Names{"a", "", "b"}));
  EXPECT_EQ(ParseInputList("a,"), (Names{"a", ""}));
  EXPECT_EQ(ParseInputList("a, "), Names{"a"});
  EXPECT_EQ(ParseInputList(",a"), (Names{"", "a"}));
  EXPECT_EQ(ParseInputList(","), (Names{"", ""}));
  EXPECT_EQ(ParseInputList(" , "), Names{""});
  EXPECT_EQ(ParseInputList("\"a\","), (Names{"a", ""}));
}

TEST(ParseInputList, ZeroByteEndsTheText) {
  EXPECT_EQ(ParseInputList(std::string("a,b\0c,d", 7)), (Names{"a", "b"}));
  EXPECT_EQ(ParseInputList(std::string("\"a\0b\",c", 7)), Names{"a"});
  EXPECT_EQ(ParseInputList(std::string("\0,a", 3)), Names{});
}

TEST(ParseInputList, MultiByteNamesStayWhole) {
  std::string name = "/\xE9\x9F\xB3\xE6\xA5\xBD/\xE6\x9B\xB2.bin";
  EXPECT_EQ(ParseInputList(name + "," + name), (Names{name, name}));
}

TEST(ToCommaText, OneNameIsWrittenBare) {
  EXPECT_EQ(ToCommaText({"/my dir/a.bin"}), "/my dir/a.bin");
  EXPECT_EQ(ToCommaText({"a,\"b"}), "a,\"b");
  EXPECT_EQ(ToCommaText({}), "");
}

TEST(ToCommaText, SeveralNamesQuoteOnlyWhereNeeded) {
  EXPECT_EQ(ToCommaText({"/my dir/a.bin", "/b.bin"}), "\"/my dir/a.bin\",/b.bin");
  EXPECT_EQ(ToCommaText({"a,b", "say \"hi\"", "c"}), "\"a,b\",\"say \"\"hi\"\"\",c");
  EXPECT_EQ(ToCommaText({"tab\there", "del\x7F", "\xE6\x9B\xB2"}),
            "\"tab\there\",\"del\x7F\",\xE6\x9B\xB2");
  EXPECT_EQ(ToCommaText({"a\"b", "c"}), "\"a\"\"b\",c");
}

TEST(CommaText, RoundTripOfChosenNames) {
  EXPECT_EQ(ParseInputList(ToCommaText({"a", "", "b"})), (Names{"a", "", "b"}));
  EXPECT_EQ(ParseInputList(ToCommaText({"", "a"})), (Names{"", "a"}));
  EXPECT_EQ(ParseInputList(ToCommaText({"a", ""})), (Names{"a", ""}));

  std::mt19937 rng(1234);
  // Bytes that matter to comma text turn up often; any other byte but 0 may too.
  const std::string tricky = " ,\"\t\r\n\x01\x1F\x7F/.";
  auto randomByte = [&]() -> char {
    if (rng() % 2 == 0) return tricky[rng() % tricky.size()];
    return static_cast<char>(1 + rng() % 255);
  };
  for (int round = 0; round < 3000; ++round) {
    Names names(2 + rng() % 5);
    for (std::string& name : names) {
      name.resize(1 + rng() % 12);
      for (char& c : name) c = randomByte();
    }
    std::string text = ToCommaText(names);
    ASSERT_EQ(ParseInputList(text), names) << text;
  }
}
