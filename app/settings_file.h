// File access for the settings store: the few operations it needs of the
// file system, and the one text conversion.
//
// Names are relative and resolve against the working directory at each call.
// Sharing, as the store relies on it (Windows; the host version has no
// sharing modes and only does the reads and writes):
//   - a file opened for reading stays open; other processes may read it but,
//     when the first attempt succeeded, not write it;
//   - a file opened for writing may be read by others, not written.
//
// Implementations: settings_file_win32.cpp (CreateFileW and friends),
// settings_file_host.cpp (POSIX descriptors, for host tests).
// Main thread only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct SettingsFile {
  bool open = false;
  intptr_t handle = 0;  // a HANDLE on Windows, a file descriptor on the host
};

// Opens an existing file, trying in turn: read and write sharing read; read
// sharing read; read sharing read and write. False when every attempt fails
// (missing or inaccessible file).
bool OpenSettingsFileForReading(const char* name, SettingsFile* file);

// Opens the file for reading and writing, sharing read, creating it when it
// is missing. An existing file is NOT emptied here: its old text stays until
// WriteSettingsFile replaces it, so a program that dies before then, or a
// write that fails, leaves the user's file as it was. False when the file
// cannot be opened so (for instance another process holds it without
// sharing write, or it is read-only).
bool CreateSettingsFile(const char* name, SettingsFile* file);

// Reads the file from its start: at most maxBytes into *text. *cut tells
// whether the file held more than that. False on a read error.
bool ReadSettingsFile(const SettingsFile& file, size_t maxBytes, std::string* text, bool* cut);

// Writes text from the start of the file and cuts the file after it. The cut
// is made only when every byte was written; false otherwise.
bool WriteSettingsFile(const SettingsFile& file, const std::string& text);

// Closes the file if open; *file is then closed.
void CloseSettingsFile(SettingsFile* file);

// A name given by the program, in the system's ANSI code page, as UTF-8 (for
// comparison with the names of a UTF-8 file). The host treats ANSI as UTF-8.
std::string SettingsNameToUtf8(const std::string& ansi);
