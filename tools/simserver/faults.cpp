// The table of fault modes and the parsing of "fault <mode> [argument]".
// Portable: no Windows header.
#include "faults.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum class ArgumentKind { None, Number, Keyword };

struct FaultInfo {
  const char* name;
  FaultMode mode;
  ArgumentKind kind;
  uint32_t defaultArgument;
  const char* const* keywords;  // Keyword: the names, index = value; null-terminated
  const char* help;
};

const char* const alterKeywords[] = {"all", "type", "size", "dest", nullptr};
const char* const breakKeywords[] = {"both", "version", "marker", nullptr};

const FaultInfo faultTable[] = {
    {"none", FaultMode::None, ArgumentKind::None, 0, nullptr, "serve normally"},
    {"badreply", FaultMode::BadReply, ArgumentKind::Number, 0, nullptr,
     "[value] serve the batch, then reply value (default 0) instead of 1"},
    {"noanswer", FaultMode::NoAnswer, ArgumentKind::None, 0, nullptr,
     "the window thread stops answering until the fault changes"},
    {"vanish", FaultMode::Vanish, ArgumentKind::None, 0, nullptr,
     "destroy the server window; any other fault recreates it"},
    {"badhandshake", FaultMode::BadHandshake, ArgumentKind::Keyword, BreakBoth, breakKeywords,
     "[both|version|marker] present version 0 and/or marker 0"},
    {"simid", FaultMode::SimId, ArgumentKind::Number, 9, nullptr,
     "[id] present another simulator identifier (default 9)"},
    {"slow", FaultMode::Slow, ArgumentKind::Number, 1800, nullptr,
     "[ms] answer each batch after a delay (default 1800)"},
    {"late", FaultMode::Late, ArgumentKind::Number, 2500, nullptr,
     "[ms] answer after the client has given up (default 2500)"},
    {"alterheaders", FaultMode::AlterHeaders, ArgumentKind::Keyword, AlterAll, alterKeywords,
     "[all|type|size|dest] alter the first read's header after serving"},
    {"noend", FaultMode::NoEnd, ArgumentKind::None, 0, nullptr,
     "overwrite the end of list with reads of 0 bytes up to the block end"},
    {"hugesize", FaultMode::HugeSize, ArgumentKind::Number, 0x100000, nullptr,
     "[size] set the first read's size beyond the block (default 0x100000)"},
};

const FaultInfo* FindFault(const char* name) {
  for (const FaultInfo& info : faultTable)
    if (std::strcmp(info.name, name) == 0) return &info;
  return nullptr;
}

const FaultInfo* FindFault(FaultMode mode) {
  for (const FaultInfo& info : faultTable)
    if (info.mode == mode) return &info;
  return &faultTable[0];
}

// Decimal or 0x-hexadecimal, the whole text, within 32 bits unsigned.
bool ParseUnsigned(const char* text, uint32_t* value) {
  if (*text == '\0' || *text == '-' || *text == '+') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long parsed = std::strtoull(text, &end, 0);
  if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFull) return false;
  *value = static_cast<uint32_t>(parsed);
  return true;
}

}  // namespace

bool FaultTakesArgument(const char* name) {
  const FaultInfo* info = FindFault(name);
  return info && info->kind != ArgumentKind::None;
}

bool ParseFault(const char* name, const char* argument, FaultSetting* fault, char* error,
                size_t errorSize) {
  const FaultInfo* info = FindFault(name);
  if (!info) {
    std::snprintf(error, errorSize, "unknown fault mode '%s'", name);
    return false;
  }
  FaultSetting parsed;
  parsed.mode = info->mode;
  parsed.argument = info->defaultArgument;
  bool hasArgument = argument && *argument;
  if (hasArgument) {
    switch (info->kind) {
      case ArgumentKind::None:
        std::snprintf(error, errorSize, "fault %s takes no argument", name);
        return false;
      case ArgumentKind::Number:
        if (!ParseUnsigned(argument, &parsed.argument)) {
          std::snprintf(error, errorSize, "fault %s: bad number '%s'", name, argument);
          return false;
        }
        break;
      case ArgumentKind::Keyword: {
        uint32_t index = 0;
        while (info->keywords[index] && std::strcmp(info->keywords[index], argument) != 0) ++index;
        if (!info->keywords[index]) {
          std::snprintf(error, errorSize, "fault %s: unknown argument '%s'", name, argument);
          return false;
        }
        parsed.argument = index;
        break;
      }
    }
  }
  *fault = parsed;
  return true;
}

void DescribeFault(const FaultSetting& fault, char* text, size_t textSize) {
  const FaultInfo* info = FindFault(fault.mode);
  switch (info->kind) {
    case ArgumentKind::None:
      std::snprintf(text, textSize, "%s", info->name);
      break;
    case ArgumentKind::Number:
      std::snprintf(text, textSize, "%s %lu", info->name, static_cast<unsigned long>(fault.argument));
      break;
    case ArgumentKind::Keyword: {
      uint32_t count = 0;
      while (info->keywords[count]) ++count;
      std::snprintf(text, textSize, "%s %s", info->name,
                    fault.argument < count ? info->keywords[fault.argument] : "?");
      break;
    }
  }
}

void ListFaults(char* text, size_t textSize) {
  size_t used = 0;
  text[0] = '\0';
  for (const FaultInfo& info : faultTable) {
    int n = std::snprintf(text + used, textSize - used, "  %-13s %s\n", info.name, info.help);
    if (n < 0 || static_cast<size_t>(n) >= textSize - used) break;
    used += static_cast<size_t>(n);
  }
}
