// The settings file "Velmorix.ini" in the working directory: the window
// position and the "light" value. Main thread only.
#pragma once
#include <cstdint>

extern int8_t lightSetting;

// Reads the file once at start-up; missing values take their defaults.
void LoadSettings();
// Rewrites the file at a normal exit.
void SaveSettings();
