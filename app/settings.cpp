// LoadSettings and SaveSettings: the window position and the "light" value in
// "Velmorix.ini", group "system", in the working directory as it is at each
// call. Built on the settings store (app/settings_store.h). Main thread only.
//
// LoadSettings leaves the store open, so that while the gauge runs other
// programs can read the file but not change it; SaveSettings closes it and
// rewrites the file as exactly four lines.
#include "app/settings.h"

#include "app/app_state.h"
#include "app/settings_store.h"

int8_t lightSetting = 0;

namespace {

const char SettingsFileName[] = "Velmorix.ini";
const char SettingsGroup[] = "system";

// The low 8 bits of a number read from the file, as a signed value.
int8_t LowByte(int32_t value) {
  int low = static_cast<int>(static_cast<uint32_t>(value) & 0xFFu);
  return static_cast<int8_t>(low > 127 ? low - 256 : low);
}

}  // namespace

void LoadSettings() {
  OpenSettingsStore(SettingsFileName);
  SelectSettingsGroup(SettingsGroup);
  lightSetting = LowByte(ReadSettingsInt("light", 1));
  windowX = ReadSettingsInt("PosWindowX", 0);
  windowY = ReadSettingsInt("PosWindowY", 0);
}

void SaveSettings() {
  CreateSettingsStore(SettingsFileName);
  SelectSettingsGroup(SettingsGroup);
  WriteSettingsInt("light", lightSetting);
  WriteSettingsInt("PosWindowX", windowX);
  WriteSettingsInt("PosWindowY", windowY);
  CloseSettingsStore();
}
