// The settings store: an INI file held as an ordered list of entries (group
// headers, comments, keys), read from a file, changed key by key, and
// written back in full when the store is closed.
//
// Text rules:
//   - Any run of CR and LF ends a line, so blank lines vanish. Leading spaces
//     and tabs of a line are skipped.
//   - ";" starts a comment; one space right after it is dropped.
//   - "[" starts a header; its name runs to the next "]" or to the line's
//     end, spaces included; anything after the "]" is ignored.
//   - Any other line is a key when it holds "=": the name is the text before
//     the first "=" without trailing spaces and tabs, the value the text after
//     it without leading spaces and tabs. A line without "=" is no entry and
//     is dropped.
//   - A file that starts with the UTF-8 byte-order mark is UTF-8: names given
//     by the program are converted to UTF-8 before comparing, and the mark is
//     written back. Otherwise the text is single-byte ANSI.
//   - Names of headers and keys compare without regard to ASCII letter case;
//     the first match wins.
//   - Numbers: leading white space, optional sign, decimal digits up to the
//     first other character; no digits gives 0. Values beyond 32 bits are
//     clamped to INT32_MIN or INT32_MAX.
//   - Only the first SettingsReadLimit bytes of a file are read; when a file
//     is longer, the line cut by that limit is dropped too.
//
// Depends on the file access seam app/settings_file.h. Portable: no Windows
// header. Main thread only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings_file.h"

// A settings file of this program is under 100 bytes; a hand-edited one a few
// kilobytes. The limit keeps a huge or foreign file from costing memory and
// start-up time: 64 KiB of one-character lines, the worst case, become 32,768
// entries, a few megabytes parsed in a few milliseconds.
constexpr size_t SettingsReadLimit = 64 * 1024;

enum SettingsEntryKind { SettingsHeader, SettingsComment, SettingsKey };

struct SettingsEntry {
  SettingsEntryKind kind;
  std::string name;   // header name, comment text, or key name
  std::string value;  // key value; empty for the other kinds
};

struct SettingsStoreState {
  SettingsFile file;
  std::vector<SettingsEntry> entries;
  bool utf8 = false;       // the file began with the UTF-8 byte-order mark
  bool rewrite = false;    // created or changed: written back at close
  ptrdiff_t selected = -1;  // index of the selected header in entries, or -1
  bool groupPending = false;  // a failed selection, remembered for writing
  std::string pendingGroup;
};

extern SettingsStoreState SettingsStore;

// Closes any open store, then opens the named file for reading and reads it.
// A missing or unreadable file gives an empty store. The file stays open
// until the store is closed.
void OpenSettingsStore(const char* fileName);

// Closes any open store, then opens the named file for writing (made when
// missing) with an empty store. The file's old text is replaced at close.
// When the file cannot be opened, later writes and the close do nothing.
void CreateSettingsStore(const char* fileName);

// Selects the first header named group. On failure, reads give defaults
// until a later selection succeeds, and the next key write appends a header
// with that name to the end of the list first.
bool SelectSettingsGroup(const char* group);

// The first key named key in the selected group, as a number; defaultValue
// when there is no selected group or no such key.
int32_t ReadSettingsInt(const char* key, int32_t defaultValue);

// Sets key in the selected group to value, written as by "%i". An existing
// key keeps its place and takes the letter case of key; a new key goes after
// the group's last entry. Does nothing without an open file or a group.
void WriteSettingsInt(const char* key, int32_t value);

// Writes a created or changed store back in full (from the start of the file,
// cut after the text), then closes the file and empties the store. A store
// that was only read writes nothing.
void CloseSettingsStore();

// The pure parts, for the store and its tests.
std::vector<SettingsEntry> ParseSettingsText(const std::string& text);
std::string BuildSettingsText(const std::vector<SettingsEntry>& entries);
int32_t ParseSettingsInt(const std::string& value);
