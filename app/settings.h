// The settings file "Velmorix.ini" in the working directory: the window
// position and the "light" value. Main thread only.
#pragma once
#include <cstdint>

extern int8_t lightSetting;

// Reads the file once at start-up; missing values take their defaults
// (light 1, window at 0, 0). The file stays open, readable by others.
void LoadSettings();
// Rewrites the file at a normal exit.
void SaveSettings();
