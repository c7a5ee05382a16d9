// The engine's texts: the places %1..%n filled in one pass, in the source
// and in the reader's language, and a failure that keeps both.
#include "platform/translate.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/io_error.h"

namespace {

std::string English(const char* context, const std::string& source) {
  static const std::map<std::string, std::string> catalog = {
      {"t|%1個の%2", "%2: %1"}, {"t|読めません", "cannot read"}, {"t|%1%2%1", "[%2]"}};
  auto it = catalog.find(std::string(context) + "|" + source);
  return it == catalog.end() ? std::string() : it->second;
}

}  // namespace

TEST(Translate, PlacesAreFilledOnceAndInOrder) {
  struct Row {
    const char* source;
    std::vector<std::string> args;
    const char* filled;
  };
  const std::vector<Row> rows = {
      {"%1個の%2", {"3", "mp3"}, "3個のmp3"},
      // An argument's own '%' is never read as a place.
      {"%1個の%2", {"a%2b", "mp3"}, "a%2b個のmp3"},
      {"%2-%1-%2", {"x", "y"}, "y-x-y"},
      // A place past the arguments, a lone or doubled '%', %0 stay as written.
      {"%3 %1 50% %% %0", {"a"}, "%3 a 50% %% %0"},
      {"%10 %1", {"a"}, "a0 a"},
      {"%12", std::vector<std::string>(12, "z"), "z"},
      {"", {}, ""},
  };
  for (const Row& row : rows) {
    UiText text = Tr("t", row.source);
    for (const std::string& a : row.args) text = text.arg(a);
    EXPECT_EQ(text.source(), row.filled) << row.source;
    EXPECT_EQ(text.shown(), row.filled) << row.source;
  }
  EXPECT_EQ(Tr("t", "%1/%2").arg(7).arg(int64_t{-5000000000}).shown(), "7/-5000000000");
}

TEST(Translate, TheHookGivesTheShownTextAndTheSourceStays) {
  SetTranslateHook(English);
  const UiText found = Tr("t", "%1個の%2").arg("a%1").arg("mp3");
  EXPECT_EQ(found.shown(), "mp3: a%1");
  EXPECT_EQ(found.source(), "a%1個のmp3");
  // No translation, or another context: the source is shown.
  EXPECT_EQ(Tr("t", "ない").shown(), "ない");
  EXPECT_EQ(Tr("u", "読めません").shown(), "読めません");
  EXPECT_EQ(Tr("t", "%1%2%1").arg("p").arg("q").shown(), "[q]");

  const IoError e(104, Tr("t", "読めません"), "/x");
  EXPECT_STREQ(e.what(), "読めません");
  EXPECT_EQ(e.shown(), "cannot read");
  EXPECT_EQ(ShownMessage(e), "cannot read");
  EXPECT_EQ(ShownMessage(std::runtime_error("plain")), "plain");
  // A message given as it is stays one text.
  EXPECT_EQ(IoError(2, "File not found").shown(), "File not found");
  SetTranslateHook(nullptr);
  EXPECT_EQ(Tr("t", "読めません").shown(), "読めません");
}
