// The settings file's Win32 access under Wine: the sharing the gauge holds
// while it runs, the reading fall-backs when another program holds the file,
// saving over a file that cannot be opened for writing, the cut after the
// new text, the read limit, and the ANSI to UTF-8 name conversion.
//
// Works in a fresh folder under the temporary directory, made the working
// directory. Prints each failed check; exit code 1 when any failed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/app_state.h"
#include "app/settings.h"
#include "app/settings_file.h"
#include "app/settings_store.h"

namespace {

int failures = 0;

#define CHECK(condition)                                                       \
  do {                                                                         \
    if (!(condition)) {                                                        \
      std::printf("%s:%d: CHECK failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                              \
    }                                                                          \
  } while (0)

const wchar_t IniName[] = L"Velmorix.ini";

std::string Saved(int light, int x, int y) {
  char text[160];
  std::snprintf(text, sizeof text,
                "[system]\r\nlight = %i\r\nPosWindowX = %i\r\nPosWindowY = %i\r\n", light, x, y);
  return text;
}

void Put(const std::string& bytes) {
  HANDLE h = CreateFileW(IniName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  CHECK(h != INVALID_HANDLE_VALUE);
  DWORD wrote = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
  CHECK(wrote == bytes.size());
  CloseHandle(h);
}

std::string Get() {
  HANDLE h = CreateFileW(IniName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(h);
  return text;
}

// Another program's handle on the settings file.
HANDLE Hold(DWORD access, DWORD share) {
  return CreateFileW(IniName, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether another program could open the file so; closes at once.
bool CanOpen(DWORD access) {
  HANDLE h = Hold(access, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

void ResetPosition() {
  lightSetting = 99;
  windowX = 5555;
  windowY = 5555;
}

void WhileTheGaugeRunsOthersReadButDoNotWrite() {
  Put(Saved(3, -40, 17));
  LoadSettings();
  CHECK(lightSetting == 3 && windowX == -40 && windowY == 17);
  CHECK(CanOpen(GENERIC_READ));
  CHECK(!CanOpen(GENERIC_WRITE));
  SaveSettings();
  CHECK(CanOpen(GENERIC_WRITE));
  CHECK(Get() == Saved(3, -40, 17));
}

void ReadingFallsBackWhenAnotherProgramHoldsTheFile() {
  struct Case {
    const char* what;
    DWORD access, share;
    bool readable;
  } cases[] = {
      {"reader sharing read", GENERIC_READ, FILE_SHARE_READ, true},
      {"writer sharing read and write", GENERIC_READ | GENERIC_WRITE,
       FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {"reader sharing nothing", GENERIC_READ, 0, false},
  };
  for (const Case& c : cases) {
    Put(Saved(7, 100, 200));
    HANDLE other = Hold(c.access, c.share);
    CHECK(other != INVALID_HANDLE_VALUE);
    ResetPosition();
    LoadSettings();
    if (c.readable) {
      CHECK(lightSetting == 7 && windowX == 100 && windowY == 200);
    } else {
      CHECK(lightSetting == 1 && windowX == 0 && windowY == 0);
    }
    if (lightSetting != (c.readable ? 7 : 1)) std::printf("  case: %s\n", c.what);
    CloseSettingsStore();
    CloseHandle(other);
  }
}

void SavingOverAFileHeldWithoutSharingLeavesItUntouched() {
  const std::string old = "; hand-made\r\n[system]\r\nPosWindowX = 1\r\n";
  struct Case {
    const char* what;
    DWORD access, share;
  } cases[] = {
      {"reader sharing nothing", GENERIC_READ, 0},
      {"reader sharing read only", GENERIC_READ, FILE_SHARE_READ},
      {"writer sharing read only", GENERIC_WRITE, FILE_SHARE_READ},
  };
  for (const Case& c : cases) {
    Put(old);
    // The other program opened the file before the gauge started.
    HANDLE other = Hold(c.access, c.share);
    CHECK(other != INVALID_HANDLE_VALUE);
    LoadSettings();
    windowX = 321;
    SaveSettings();
    CloseHandle(other);
    if (Get() != old) std::printf("  case: %s\n", c.what);
    CHECK(Get() == old);
  }
}

void SavingCreatesOrRewritesAndCutsTheOldTail() {
  DeleteFileW(IniName);
  ResetPosition();
  LoadSettings();
  CHECK(lightSetting == 1 && windowX == 0 && windowY == 0);
  CHECK(Get() == "<missing>");
  SaveSettings();
  CHECK(Get() == Saved(1, 0, 0));

  Put("\xEF\xBB\xBF; long hand-made file\r\n[SYSTEM]\r\nlight = 300\r\n" + std::string(10000, ';'));
  LoadSettings();
  CHECK(lightSetting == 44);
  windowX = -1200;
  windowY = -3;
  SaveSettings();
  CHECK(Get() == Saved(44, -1200, -3));

  // While a created store is open, others may read the file but not write it.
  CreateSettingsStore("Velmorix.ini");
  CHECK(CanOpen(GENERIC_READ));
  CHECK(!CanOpen(GENERIC_WRITE));
  CloseSettingsStore();
  CHECK(Get() == "");
}

void AFileLargerThanTheReadLimitIsReadUpToIt() {
  Put("[system]\r\nPosWindowX = 123\r\nlight = 9\r\n");
  HANDLE h = Hold(GENERIC_WRITE, 0);
  LARGE_INTEGER size;
  size.QuadPart = 3 * static_cast<LONGLONG>(SettingsReadLimit);
  SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
  CHECK(SetEndOfFile(h));  // zero bytes after the two keys
  CloseHandle(h);
  ResetPosition();
  LoadSettings();
  CHECK(windowX == 123 && lightSetting == 9 && windowY == 0);
  SaveSettings();
  CHECK(Get() == Saved(9, 123, 0));
}

void NamesAreComparedInTheFilesEncoding() {
  if (GetACP() != 1252) {
    std::printf("skipped: ANSI code page is %u, not 1252\n", GetACP());
    return;
  }
  CHECK(SettingsNameToUtf8("syst\xE8me") == "syst\xC3\xA8me");
  struct Case {
    std::string text;
  } cases[] = {
      {"\xEF\xBB\xBF[SYST\xC3\xA8ME]\r\nk = 5\r\n"},  // UTF-8 file
      {"[SYST\xE8ME]\r\nk = 5\r\n"},                  // ANSI file
  };
  for (const Case& c : cases) {
    Put(c.text);
    OpenSettingsStore("Velmorix.ini");
    CHECK(SelectSettingsGroup("syst\xE8me"));
    CHECK(ReadSettingsInt("k", 0) == 5);
    CloseSettingsStore();
  }
}

}  // namespace

int main() {
  wchar_t temp[MAX_PATH];
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::swprintf(dir, MAX_PATH, L"%lsgauge-settings-%lu", temp, GetCurrentProcessId());
  CreateDirectoryW(dir, nullptr);
  if (!SetCurrentDirectoryW(dir)) {
    std::printf("cannot enter %ls\n", dir);
    return 1;
  }

  WhileTheGaugeRunsOthersReadButDoNotWrite();
  ReadingFallsBackWhenAnotherProgramHoldsTheFile();
  SavingOverAFileHeldWithoutSharingLeavesItUntouched();
  SavingCreatesOrRewritesAndCutsTheOldTail();
  AFileLargerThanTheReadLimitIsReadUpToIt();
  NamesAreComparedInTheFilesEncoding();

  CloseSettingsStore();
  DeleteFileW(IniName);
  SetCurrentDirectoryW(temp);
  RemoveDirectoryW(dir);
  std::printf("%s: %d failed checks\n", failures ? "FAIL" : "ok", failures);
  return failures ? 1 : 0;
}
