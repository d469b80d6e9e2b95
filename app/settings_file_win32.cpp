// File access for the settings store on Win32: CreateFileW with explicit
// sharing modes, ReadFile, WriteFile and SetEndOfFile.
//
// Limits: names are converted from the ANSI code page to UTF-16; files of any
// size are opened, but ReadSettingsFile stops after the byte count it is
// given. Main thread only.
#include "app/settings_file.h"

#include <windows.h>

#include <vector>

namespace {

HANDLE ToHandle(const SettingsFile& file) { return reinterpret_cast<HANDLE>(file.handle); }

std::wstring AnsiToWide(const std::string& ansi) {
  if (ansi.empty()) return std::wstring();
  int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], length);
  return wide;
}

bool OpenWith(const char* name, DWORD access, DWORD share, DWORD disposition, SettingsFile* file) {
  std::wstring wide = AnsiToWide(name);
  if (wide.empty()) return false;
  HANDLE handle = CreateFileW(wide.c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  file->open = true;
  file->handle = reinterpret_cast<intptr_t>(handle);
  return true;
}

bool SeekToStart(HANDLE handle) {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  return SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

bool OpenSettingsFileForReading(const char* name, SettingsFile* file) {
  CloseSettingsFile(file);
  // The first attempt keeps others from writing while the gauge runs; the
  // two fall-backs still read a file that someone else holds open.
  return OpenWith(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, file) ||
         OpenWith(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, file) ||
         OpenWith(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, file);
}

bool CreateSettingsFile(const char* name, SettingsFile* file) {
  CloseSettingsFile(file);
  // OPEN_ALWAYS rather than CREATE_ALWAYS: the old text is replaced only by
  // WriteSettingsFile, once the new text is complete.
  return OpenWith(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, file);
}

bool ReadSettingsFile(const SettingsFile& file, size_t maxBytes, std::string* text, bool* cut) {
  text->clear();
  *cut = false;
  if (!file.open) return false;
  HANDLE handle = ToHandle(file);
  if (!SeekToStart(handle)) return false;
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    // One byte past the limit tells a file of exactly maxBytes from a longer one.
    size_t wanted = maxBytes + 1 - text->size();
    if (wanted > chunk.size()) wanted = chunk.size();
    DWORD got = 0;
    if (!ReadFile(handle, chunk.data(), static_cast<DWORD>(wanted), &got, nullptr)) return false;
    if (got == 0) return true;
    text->append(chunk.data(), got);
    if (text->size() > maxBytes) {
      text->resize(maxBytes);
      *cut = true;
      return true;
    }
  }
}

bool WriteSettingsFile(const SettingsFile& file, const std::string& text) {
  if (!file.open) return false;
  HANDLE handle = ToHandle(file);
  if (!SeekToStart(handle)) return false;
  size_t done = 0;
  while (done < text.size()) {
    DWORD wrote = 0;
    DWORD count = static_cast<DWORD>(text.size() - done);
    if (!WriteFile(handle, text.data() + done, count, &wrote, nullptr) || wrote == 0) return false;
    done += wrote;
  }
  // The new text reaches the disk before the old tail is cut: a crash in
  // between leaves the new lines first, and the first of duplicate keys wins.
  FlushFileBuffers(handle);
  return SetEndOfFile(handle) != 0;
}

void CloseSettingsFile(SettingsFile* file) {
  if (file->open) CloseHandle(ToHandle(*file));
  file->open = false;
  file->handle = 0;
}

std::string SettingsNameToUtf8(const std::string& ansi) {
  std::wstring wide = AnsiToWide(ansi);
  if (wide.empty()) return ansi;
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                   0, nullptr, nullptr);
  if (length <= 0) return ansi;
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], length,
                      nullptr, nullptr);
  return utf8;
}
