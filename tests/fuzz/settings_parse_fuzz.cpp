// Fuzz target: the settings text parser, the writer and the number reader.
//
// Checked on every input:
//   - text written from parsed entries parses back to the same entries, so
//     a store read and written back keeps what it read;
//   - every key value reads as the C library's strtoll would read it, clamped
//     to 32 bits;
//   - group selection and key reads over the parsed entries stay in bounds
//     (AddressSanitizer).
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/settings_store.h"

namespace {

bool SameEntries(const std::vector<SettingsEntry>& a, const std::vector<SettingsEntry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].kind != b[i].kind || a[i].name != b[i].name || a[i].value != b[i].value) return false;
  return true;
}

int32_t ReferenceInt(const std::string& value) {
  // strtoll stops at the first NUL, as the parser stops at any non-digit.
  long long wide = std::strtoll(value.c_str(), nullptr, 10);
  if (wide > INT32_MAX) return INT32_MAX;
  if (wide < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(wide);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<SettingsEntry> entries = ParseSettingsText(text);

  std::string written = BuildSettingsText(entries);
  if (!SameEntries(ParseSettingsText(written), entries)) std::abort();

  for (const SettingsEntry& entry : entries) {
    if (entry.kind != SettingsKey) continue;
    if (ParseSettingsInt(entry.value) != ReferenceInt(entry.value)) std::abort();
  }

  SettingsStore.entries = entries;
  for (const char* group : {"system", "SYSTEM", ""}) {
    SelectSettingsGroup(group);
    ReadSettingsInt("light", 1);
    ReadSettingsInt("PosWindowX", 0);
    ReadSettingsInt("", 0);
  }
  SettingsStore.entries.clear();
  SettingsStore.selected = -1;
  return 0;
}
