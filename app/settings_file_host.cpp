// File access for the settings store on the host, over POSIX descriptors, so
// that host tests run the whole store against real files.
//
// Limits: POSIX has no sharing modes, so the three reading attempts reduce to
// read-write, then read-only; names are taken as UTF-8 (no conversion).
// Main thread only.
#include "app/settings_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

bool OpenWith(const char* name, int flags, SettingsFile* file) {
  int fd;
  do {
    fd = open(name, flags | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  file->open = true;
  file->handle = fd;
  return true;
}

int ToFd(const SettingsFile& file) { return static_cast<int>(file.handle); }

}  // namespace

bool OpenSettingsFileForReading(const char* name, SettingsFile* file) {
  CloseSettingsFile(file);
  return OpenWith(name, O_RDWR, file) || OpenWith(name, O_RDONLY, file);
}

bool CreateSettingsFile(const char* name, SettingsFile* file) {
  CloseSettingsFile(file);
  return OpenWith(name, O_RDWR | O_CREAT, file);
}

bool ReadSettingsFile(const SettingsFile& file, size_t maxBytes, std::string* text, bool* cut) {
  text->clear();
  *cut = false;
  if (!file.open) return false;
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    size_t wanted = maxBytes + 1 - text->size();
    if (wanted > chunk.size()) wanted = chunk.size();
    ssize_t got = pread(ToFd(file), chunk.data(), wanted, static_cast<off_t>(text->size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    text->append(chunk.data(), static_cast<size_t>(got));
    if (text->size() > maxBytes) {
      text->resize(maxBytes);
      *cut = true;
      return true;
    }
  }
}

bool WriteSettingsFile(const SettingsFile& file, const std::string& text) {
  if (!file.open) return false;
  size_t done = 0;
  while (done < text.size()) {
    ssize_t wrote = pwrite(ToFd(file), text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  fsync(ToFd(file));
  return ftruncate(ToFd(file), static_cast<off_t>(text.size())) == 0;
}

void CloseSettingsFile(SettingsFile* file) {
  if (file->open) close(ToFd(*file));
  file->open = false;
  file->handle = 0;
}

std::string SettingsNameToUtf8(const std::string& ansi) { return ansi; }
