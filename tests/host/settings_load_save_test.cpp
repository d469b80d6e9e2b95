// LoadSettings and SaveSettings against "Velmorix.ini" in a scratch working
// directory: what hand-made, odd and hostile files read as, and the exact
// bytes written back.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "app/settings.h"
#include "settings_temp_dir.h"

namespace {

using std::string;

const char IniName[] = "Velmorix.ini";

string Saved(int light, int x, int y) {
  return "[system]\r\nlight = " + std::to_string(light) + "\r\nPosWindowX = " + std::to_string(x) +
         "\r\nPosWindowY = " + std::to_string(y) + "\r\n";
}

class Settings : public SettingsTempDir {
 protected:
  void SetUp() override {
    SettingsTempDir::SetUp();
    // Values a previous test or run could have left: Load must set all three.
    lightSetting = 77;
    windowX = 12345;
    windowY = -12345;
  }
};

TEST_F(Settings, NoFileGivesTheDefaultsAndSaveWritesTheFourLines) {
  LoadSettings();
  EXPECT_EQ(lightSetting, 1);
  EXPECT_EQ(windowX, 0);
  EXPECT_EQ(windowY, 0);
  EXPECT_FALSE(Exists(IniName));  // reading creates nothing
  SaveSettings();
  EXPECT_EQ(Get(IniName), "[system]\r\nlight = 1\r\nPosWindowX = 0\r\nPosWindowY = 0\r\n");
}

TEST_F(Settings, FilesReadAsExpected) {
  struct Case {
    const char* what;
    string text;
    int light, x, y;
  } cases[] = {
      {"as written", Saved(5, 10, 20), 5, 10, 20},
      {"hand-edited",
       "; my gauge\r\n\r\n[other]\r\nPosWindowX = 99\r\n[system]\r\n; where\r\nPosWindowY=7\n\n"
       "  light=3\r\nfoo = bar\r\nPosWindowX = -40\r\n[third]\r\nlight=9",
       3, -40, 7},
      {"letter case", "[SYSTEM]\nposWINDOWx=5\nLIGHT=2", 2, 5, 0},
      {"duplicate key", "[system]\nPosWindowX=1\nPosWindowX=2", 1, 1, 0},
      {"duplicate header", "[system]\nPosWindowX=1\n[system]\nPosWindowY=2\nlight=4", 1, 1, 0},
      {"spaces in header", "[ system ]\nlight=5\nPosWindowX=3", 1, 0, 0},
      {"keys before the header", "PosWindowX=5\n[system]\nlight=2", 2, 0, 0},
      {"keys under another header", "[other]\nPosWindowX=5\n[system]\n", 1, 0, 0},
      {"spaced, trailing letters, letters only, empty",
       "[system]\nPosWindowX =   -25   \nPosWindowY = 12abc\nlight = abc\n", 0, -25, 12},
      {"empty value", "[system]\nlight =\n", 0, 0, 0},
      {"light 300", "[system]\nlight = 300", 44, 0, 0},
      {"light 200", "[system]\nlight = 200", -56, 0, 0},
      {"light -129", "[system]\nlight = -129", 127, 0, 0},
      {"utf-8 mark", "\xEF\xBB\xBF[system]\r\nlight = 4\r\nPosWindowX = -3\r\n", 4, -3, 0},
      {"utf-8 mark only", "\xEF\xBB\xBF", 1, 0, 0},
      {"start of a mark", "\xEF\xBB", 1, 0, 0},
      {"negative positions", "[system]\nPosWindowX = -1200\nPosWindowY = -5", 1, -1200, -5},
      {"beyond 32 bits", "[system]\nPosWindowX = 99999999999\nPosWindowY = -99999999999", 1,
       INT32_MAX, INT32_MIN},
      {"no line breaks", "[system]PosWindowX=5", 1, 0, 0},
      {"CR only", "[system]\rPosWindowX=8\rPosWindowY=9", 1, 8, 9},
      {"line without =", "[system]\nPosWindowX\nPosWindowX 5\nPosWindowY=1", 1, 0, 1},
      {"NUL after header", string("[system]\0\nPosWindowX = 5", 24), 1, 5, 0},
      {"NUL inside header", string("[sys\0tem]\nPosWindowX = 5", 24), 1, 0, 0},
      {"NUL inside value", string("[system]\nPosWindowX = 4\0 2", 26), 1, 4, 0},
  };
  for (const Case& c : cases) {
    Put(IniName, c.text);
    LoadSettings();
    EXPECT_EQ(lightSetting, c.light) << c.what;
    EXPECT_EQ(windowX, c.x) << c.what;
    EXPECT_EQ(windowY, c.y) << c.what;
  }
}

TEST_F(Settings, BinaryGarbageReadsWithoutHarm) {
  string garbage;
  uint32_t seed = 12345;
  for (size_t i = 0; i < SettingsReadLimit - 1024; ++i) {
    seed = seed * 1103515245u + 12345u;
    garbage += static_cast<char>(seed >> 24);
  }
  Put(IniName, garbage);
  LoadSettings();  // whatever it reads, it must not crash or leak
  Put(IniName, garbage + "\n[system]\nPosWindowX = 77\n");
  LoadSettings();
  EXPECT_EQ(windowX, 77);
}

TEST_F(Settings, SaveWritesExactlyFourLinesOverAnyOldFile) {
  struct Case {
    const char* what;
    string old;
    int light, x, y;
  } cases[] = {
      {"none", "", 1, 0, 0},
      {"longer hand-made file with a mark",
       "\xEF\xBB\xBF; keep?\r\n[other]\r\na = 1\r\n[SYSTEM]\r\nposwindowx = 5\r\n" + string(3000, ';'),
       -56, -1200, 2147483647},
      {"extremes", "[system]\n", -128, INT32_MIN, INT32_MAX},
  };
  for (const Case& c : cases) {
    if (!c.old.empty()) Put(IniName, c.old);
    LoadSettings();
    lightSetting = static_cast<int8_t>(c.light);
    windowX = c.x;
    windowY = c.y;
    SaveSettings();
    EXPECT_EQ(Get(IniName), Saved(c.light, c.x, c.y)) << c.what;
  }
}

TEST_F(Settings, LightIsSavedAsItsLowByte) {
  struct Case {
    const char* light;
    int saved;
  } cases[] = {{"300", 44}, {"200", -56}, {"256", 0}, {"-1", -1}};
  for (const Case& c : cases) {
    Put(IniName, string("[system]\nlight = ") + c.light + "\nPosWindowX = -3\n");
    LoadSettings();
    SaveSettings();
    EXPECT_EQ(Get(IniName), Saved(c.saved, -3, 0)) << c.light;
  }
}

TEST_F(Settings, AHugeFileIsReadUpToTheLimitWithoutItsCutLine) {
  // A sparse file of 100 MB: a header and a key, then zero bytes.
  Put(IniName, "[system]\r\nPosWindowX = 123\r\n");
  ASSERT_EQ(truncate(IniName, 100 * 1024 * 1024), 0);
  LoadSettings();
  EXPECT_EQ(windowX, 123);
  SaveSettings();
  EXPECT_EQ(Get(IniName), Saved(1, 123, 0));

  // A key whose number the limit cuts after "12" is not read as 12.
  string head = "[system]\r\nPosWindowY = 8\r\n; ";
  string tail = "\r\nPosWindowX = 12";
  string text = head + string(SettingsReadLimit - head.size() - tail.size(), 'x') + tail;
  ASSERT_EQ(text.size(), SettingsReadLimit);
  Put(IniName, text + "345\r\n");
  LoadSettings();
  EXPECT_EQ(windowX, 0);
  EXPECT_EQ(windowY, 8);
  // Exactly at the limit nothing is cut.
  Put(IniName, text);
  LoadSettings();
  EXPECT_EQ(windowX, 12);
}

TEST_F(Settings, TheFileNameFollowsTheWorkingDirectory) {
  Put(IniName, Saved(3, 4, 5));
  LoadSettings();
  ASSERT_EQ(mkdir("elsewhere", 0755), 0);
  ASSERT_EQ(chdir("elsewhere"), 0);
  windowX = 6;
  SaveSettings();
  EXPECT_EQ(Get(IniName), Saved(3, 6, 5));
  EXPECT_EQ(Get("../Velmorix.ini"), Saved(3, 4, 5));
}

}  // namespace
