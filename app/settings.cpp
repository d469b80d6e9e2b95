// Placeholder until the settings file lands: defaults, nothing written.
#include "app/settings.h"

#include "app/app_state.h"

int8_t lightSetting = 1;

void LoadSettings() {
  lightSetting = 1;
  windowX = 0;
  windowY = 0;
}

void SaveSettings() {}
