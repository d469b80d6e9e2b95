// The settings store: INI text to an ordered list of entries and back, and
// the store's life over the file access seam. The rules are listed in
// settings_store.h. Portable; main thread only.
#include "app/settings_store.h"

#include <cstdio>

SettingsStoreState SettingsStore;

namespace {

const char Utf8Mark[] = "\xEF\xBB\xBF";

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
// White space as the C locale's isspace, without its undefined behaviour
// for negative chars.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

void ParseLine(const std::string& text, size_t begin, size_t end, std::vector<SettingsEntry>* entries) {
  size_t p = begin;
  while (p < end && IsBlank(text[p])) ++p;
  if (p == end) return;
  if (text[p] == ';') {
    ++p;
    if (p < end && text[p] == ' ') ++p;
    entries->push_back({SettingsComment, text.substr(p, end - p), std::string()});
  } else if (text[p] == '[') {
    ++p;
    size_t close = p;
    while (close < end && text[close] != ']') ++close;
    entries->push_back({SettingsHeader, text.substr(p, close - p), std::string()});
  } else {
    size_t equals = p;
    while (equals < end && text[equals] != '=') ++equals;
    if (equals == end) return;  // neither comment, header nor key
    size_t nameEnd = equals;
    while (nameEnd > p && IsBlank(text[nameEnd - 1])) --nameEnd;
    size_t value = equals + 1;
    while (value < end && IsBlank(text[value])) ++value;
    entries->push_back({SettingsKey, text.substr(p, nameEnd - p), text.substr(value, end - value)});
  }
}

// One past the selected group's last entry: the next header or the end.
size_t GroupEnd(const SettingsStoreState& store) {
  size_t i = static_cast<size_t>(store.selected) + 1;
  while (i < store.entries.size() && store.entries[i].kind != SettingsHeader) ++i;
  return i;
}

// A name given by the program, in the store's own encoding.
std::string StoreName(const char* name) {
  return SettingsStore.utf8 ? SettingsNameToUtf8(name) : std::string(name);
}

void ResetStore() {
  SettingsStore.entries.clear();
  SettingsStore.utf8 = false;
  SettingsStore.rewrite = false;
  SettingsStore.selected = -1;
  SettingsStore.groupPending = false;
  SettingsStore.pendingGroup.clear();
}

}  // namespace

std::vector<SettingsEntry> ParseSettingsText(const std::string& text) {
  std::vector<SettingsEntry> entries;
  size_t i = 0;
  const size_t n = text.size();
  for (;;) {
    while (i < n && IsLineBreak(text[i])) ++i;
    if (i == n) break;
    size_t end = i;
    while (end < n && !IsLineBreak(text[end])) ++end;
    ParseLine(text, i, end, &entries);
    i = end;
  }
  return entries;
}

std::string BuildSettingsText(const std::vector<SettingsEntry>& entries) {
  std::string text;
  for (const SettingsEntry& entry : entries) {
    switch (entry.kind) {
      case SettingsHeader: text += "[" + entry.name + "]"; break;
      case SettingsComment: text += "; " + entry.name; break;
      case SettingsKey: text += entry.name + " = " + entry.value; break;
    }
    text += "\r\n";
  }
  return text;
}

int32_t ParseSettingsInt(const std::string& value) {
  size_t i = 0;
  const size_t n = value.size();
  while (i < n && IsSpace(value[i])) ++i;
  bool negative = false;
  if (i < n && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  int64_t magnitude = 0;
  bool digits = false;
  for (; i < n && value[i] >= '0' && value[i] <= '9'; ++i) {
    digits = true;
    // Saturates well past the 32-bit range, so long runs of digits cannot overflow.
    if (magnitude <= INT64_C(10000000000)) magnitude = magnitude * 10 + (value[i] - '0');
  }
  if (!digits) return 0;
  int64_t result = negative ? -magnitude : magnitude;
  if (result > INT32_MAX) return INT32_MAX;
  if (result < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(result);
}

void OpenSettingsStore(const char* fileName) {
  CloseSettingsStore();
  if (!OpenSettingsFileForReading(fileName, &SettingsStore.file)) return;
  std::string text;
  bool cut = false;
  if (!ReadSettingsFile(SettingsStore.file, SettingsReadLimit, &text, &cut)) return;
  if (cut) {
    // The last line is incomplete: a number in it could read as another.
    size_t keep = text.size();
    while (keep > 0 && !IsLineBreak(text[keep - 1])) --keep;
    text.resize(keep);
  }
  if (text.compare(0, 3, Utf8Mark) == 0) {
    SettingsStore.utf8 = true;
    text.erase(0, 3);
  }
  SettingsStore.entries = ParseSettingsText(text);
}

void CreateSettingsStore(const char* fileName) {
  CloseSettingsStore();
  // Even when nothing is written, the file's text becomes that of the empty store.
  SettingsStore.rewrite = CreateSettingsFile(fileName, &SettingsStore.file);
}

bool SelectSettingsGroup(const char* group) {
  std::string name = StoreName(group);
  for (size_t i = 0; i < SettingsStore.entries.size(); ++i) {
    const SettingsEntry& entry = SettingsStore.entries[i];
    if (entry.kind == SettingsHeader && SameName(entry.name, name)) {
      SettingsStore.selected = static_cast<ptrdiff_t>(i);
      SettingsStore.groupPending = false;
      return true;
    }
  }
  SettingsStore.selected = -1;
  SettingsStore.groupPending = true;
  SettingsStore.pendingGroup = name;
  return false;
}

int32_t ReadSettingsInt(const char* key, int32_t defaultValue) {
  if (SettingsStore.selected < 0) return defaultValue;
  std::string name = StoreName(key);
  size_t end = GroupEnd(SettingsStore);
  for (size_t i = static_cast<size_t>(SettingsStore.selected) + 1; i < end; ++i) {
    const SettingsEntry& entry = SettingsStore.entries[i];
    if (entry.kind == SettingsKey && SameName(entry.name, name)) return ParseSettingsInt(entry.value);
  }
  return defaultValue;
}

void WriteSettingsInt(const char* key, int32_t value) {
  SettingsStoreState& store = SettingsStore;
  if (!store.file.open) return;
  if (store.selected < 0) {
    if (!store.groupPending) return;
    store.entries.push_back({SettingsHeader, store.pendingGroup, std::string()});
    store.selected = static_cast<ptrdiff_t>(store.entries.size() - 1);
    store.groupPending = false;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%i", static_cast<int>(value));
  std::string name = StoreName(key);
  store.rewrite = true;
  size_t end = GroupEnd(store);
  for (size_t i = static_cast<size_t>(store.selected) + 1; i < end; ++i) {
    SettingsEntry& entry = store.entries[i];
    if (entry.kind == SettingsKey && SameName(entry.name, name)) {
      entry.name = name;
      entry.value = text;
      return;
    }
  }
  store.entries.insert(store.entries.begin() + static_cast<ptrdiff_t>(end), {SettingsKey, name, text});
}

void CloseSettingsStore() {
  if (SettingsStore.rewrite && SettingsStore.file.open) {
    std::string text = BuildSettingsText(SettingsStore.entries);
    if (SettingsStore.utf8) text.insert(0, Utf8Mark);
    // A failed write is not reported: the gauge has no one to tell at exit.
    WriteSettingsFile(SettingsStore.file, text);
  }
  CloseSettingsFile(&SettingsStore.file);
  ResetStore();
}
