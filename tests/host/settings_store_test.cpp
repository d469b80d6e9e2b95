// The settings store: INI text to entries, numbers, text back, and the
// store's reads and writes over real files in a scratch directory.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "app/settings_store.h"
#include "settings_temp_dir.h"

namespace {

using std::string;

string Describe(const std::vector<SettingsEntry>& entries) {
  string out;
  for (const SettingsEntry& e : entries) {
    const char* kind = e.kind == SettingsHeader ? "H" : e.kind == SettingsComment ? "C" : "K";
    out += string(kind) + "<" + e.name + ">";
    if (e.kind == SettingsKey) out += "<" + e.value + ">";
    out += " ";
  }
  return out;
}

TEST(SettingsText, LinesBecomeEntries) {
  struct Case {
    string text, expected;
  } cases[] = {
      {"", ""},
      {"\r\n\n\r\r\n", ""},
      {"[system]\r\nlight = 1\r\n", "H<system> K<light><1> "},
      // Any run of CR and LF ends a line; the last line needs no break.
      {"a=1\rb=2\n\n\r\nc=3", "K<a><1> K<b><2> K<c><3> "},
      {"  \t; a comment ", "C<a comment > "},
      {";  two spaces", "C< two spaces> "},
      {";", "C<> "},
      {"[ system ]", "H< system > "},
      {"[unclosed ", "H<unclosed > "},
      {"[a]b]junk = 1", "H<a> "},
      {"[]", "H<> "},
      {"  key\t =  \t-25  ", "K<key><-25  > "},
      {"a=b=c", "K<a><b=c> "},
      {"=5", "K<><5> "},
      {"key =", "K<key><> "},
      // Lines that are neither comment, header nor key are dropped.
      {"no equals here\r\n   \t  \r\n[g]", "H<g> "},
      {string("k=\0v", 4), string("K<k><\0v> ", 9)},
      {"x=\xFF\xFE", "K<x><\xFF\xFE> "},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Describe(ParseSettingsText(c.text)), c.expected) << "text: " << c.text;
}

TEST(SettingsText, EntriesAreWrittenOneLineEach) {
  std::vector<SettingsEntry> entries = {
      {SettingsComment, "note", ""},
      {SettingsHeader, "system", ""},
      {SettingsKey, "light", "1"},
      {SettingsKey, "empty", ""},
  };
  EXPECT_EQ(BuildSettingsText(entries), "; note\r\n[system]\r\nlight = 1\r\nempty = \r\n");
  EXPECT_EQ(BuildSettingsText({}), "");
  // What is written reads back as the same entries.
  EXPECT_EQ(Describe(ParseSettingsText(BuildSettingsText(entries))), Describe(entries));
}

TEST(SettingsText, NumbersReadLikeTheCLibraryAndClampTo32Bits) {
  struct Case {
    const char* value;
    int32_t expected;
  } cases[] = {
      {"-25  ", -25},
      {" \t\v\f-25", -25},
      {"12abc", 12},
      {"abc", 0},
      {"", 0},
      {"+7", 7},
      {"-", 0},
      {"- 5", 0},
      {"007", 7},
      {"0x10", 0},
      {"1 2", 1},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-2147483649", INT32_MIN},
      {"4294967296", INT32_MAX},
      {"99999999999999999999999999999999999999", INT32_MAX},
      {"-99999999999999999999999999999999999999", INT32_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseSettingsInt(c.value), c.expected) << c.value;
}

class SettingsStoreFile : public SettingsTempDir {};

TEST_F(SettingsStoreFile, ReadsTheFirstKeyOfTheFirstMatchingGroup) {
  Put("s.ini",
      "a=1\r\n[Other]\r\na=2\r\n[GROUP]\r\n; c\r\nA=3\r\na=4\r\n[group]\r\na=5\r\nb=6\r\n");
  OpenSettingsStore("s.ini");
  EXPECT_EQ(ReadSettingsInt("a", -1), -1);  // no group selected yet
  ASSERT_TRUE(SelectSettingsGroup("group"));
  EXPECT_EQ(ReadSettingsInt("a", -1), 3);
  EXPECT_EQ(ReadSettingsInt("b", -1), -1);  // only under the second "group"
  ASSERT_TRUE(SelectSettingsGroup("other"));
  EXPECT_EQ(ReadSettingsInt("A", -1), 2);
  EXPECT_FALSE(SelectSettingsGroup("missing"));
  EXPECT_EQ(ReadSettingsInt("a", -1), -1);
}

TEST_F(SettingsStoreFile, WritesReplaceInPlaceOrGoAfterTheGroupsLastEntry) {
  Put("s.ini", "[one]\nKEY = 1\nother = x\n; tail of one\n[two]\nk = 2\n");
  OpenSettingsStore("s.ini");
  ASSERT_TRUE(SelectSettingsGroup("ONE"));
  WriteSettingsInt("Key", -7);   // replaced, takes the program's letter case
  WriteSettingsInt("new", 42);   // after "; tail of one", before [two]
  WriteSettingsInt("newer", 0);
  EXPECT_FALSE(SelectSettingsGroup("three"));
  WriteSettingsInt("k", 3);  // appends [three] first
  CloseSettingsStore();
  EXPECT_EQ(Get("s.ini"),
            "[one]\r\nKey = -7\r\nother = x\r\n; tail of one\r\nnew = 42\r\nnewer = 0\r\n"
            "[two]\r\nk = 2\r\n[three]\r\nk = 3\r\n");
}

TEST_F(SettingsStoreFile, WritesWithoutAGroupOrWithoutAFileDoNothing) {
  Put("s.ini", "k=1\n");
  OpenSettingsStore("s.ini");
  WriteSettingsInt("k", 2);  // no selection made
  CloseSettingsStore();
  EXPECT_EQ(Get("s.ini"), "k=1\n");

  OpenSettingsStore("missing.ini");
  EXPECT_FALSE(SelectSettingsGroup("g"));
  WriteSettingsInt("k", 2);
  CloseSettingsStore();
  EXPECT_FALSE(Exists("missing.ini"));
}

TEST_F(SettingsStoreFile, AStoreOnlyReadLeavesTheFileByteForByte) {
  const string text = "\xEF\xBB\xBF; hand-made\n\n[system]\nlight=3   \n\r\nodd line\n";
  Put("s.ini", text);
  OpenSettingsStore("s.ini");
  ASSERT_TRUE(SelectSettingsGroup("system"));
  EXPECT_EQ(ReadSettingsInt("light", 0), 3);
  CloseSettingsStore();
  EXPECT_EQ(Get("s.ini"), text);
}

TEST_F(SettingsStoreFile, CreatingEmptiesTheTextAtCloseAndCutsTheOldTail) {
  Put("s.ini", string(5000, 'x'));
  CreateSettingsStore("s.ini");
  CloseSettingsStore();
  EXPECT_EQ(Get("s.ini"), "");

  Put("s.ini", "[g]\nk = 1\n" + string(5000, ';'));
  CreateSettingsStore("s.ini");
  EXPECT_EQ(ReadSettingsInt("k", -1), -1);  // a created store starts empty
  EXPECT_FALSE(SelectSettingsGroup("g"));
  WriteSettingsInt("k", 9);
  CloseSettingsStore();
  EXPECT_EQ(Get("s.ini"), "[g]\r\nk = 9\r\n");
}

TEST_F(SettingsStoreFile, OpeningOrCreatingClosesTheStoreBefore) {
  Put("a.ini", "[g]\nk=1\n");
  CreateSettingsStore("a.ini");
  SelectSettingsGroup("g");
  WriteSettingsInt("k", 5);
  OpenSettingsStore("a.ini");  // closes, and so writes, the created store first
  ASSERT_TRUE(SelectSettingsGroup("g"));
  EXPECT_EQ(ReadSettingsInt("k", -1), 5);
}

TEST_F(SettingsStoreFile, AUtf8FileKeepsItsMarkWhenWrittenBack) {
  Put("s.ini", "\xEF\xBB\xBF[g]\nk=1\n");
  OpenSettingsStore("s.ini");
  ASSERT_TRUE(SelectSettingsGroup("g"));
  WriteSettingsInt("k", 2);
  CloseSettingsStore();
  EXPECT_EQ(Get("s.ini"), "\xEF\xBB\xBF[g]\r\nk = 2\r\n");
}

}  // namespace
