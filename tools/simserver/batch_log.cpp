// The log of served batches (see batch_log.h). Portable C stdio.
#include "batch_log.h"

#include <cstdio>
#include <string>

namespace {

FILE* logFile = nullptr;
std::string line;  // reused: a batch of thousands of requests makes a long line

// Bytes of write data shown in full; longer data is cut with "..".
constexpr uint32_t MaxShownData = 64;

void Append(const char* format, unsigned long a, unsigned long b = 0, unsigned long c = 0,
            unsigned long d = 0) {
  char piece[96];
  std::snprintf(piece, sizeof piece, format, a, b, c, d);
  line += piece;
}

void WriteLine() {
  line += '\n';
  std::fputs(line.c_str(), logFile);
  std::fflush(logFile);
}

}  // namespace

bool OpenBatchLog(const char* path) {
  logFile = std::fopen(path, "w");
  return logFile != nullptr;
}

void CloseBatchLog() {
  if (logFile) std::fclose(logFile);
  logFile = nullptr;
}

void LogBatch(const char* name, const uint8_t* block, const BatchCheck& check, uint32_t reply,
              const char* faultText) {
  if (!logFile) return;
  line = name;
  for (uint32_t i = 0; i < check.count; ++i) {
    const BatchRequest& request = check.requests[i];
    if (request.type == 1) {
      Append(" | R %04lX %lu @%lu dest %08lX", request.offset, request.size, request.position,
             request.destination);
    } else {
      Append(" | W %04lX %lu @%lu ", request.offset, request.size, request.position);
      const uint8_t* data = block + request.position + WriteHeaderSize;
      uint32_t shown = request.size < MaxShownData ? request.size : MaxShownData;
      for (uint32_t j = 0; j < shown; ++j) Append("%02lX", data[j]);
      if (shown < request.size) line += "..";
    }
  }
  if (check.ok) {
    Append(" | end @%lu", check.endPosition);
  } else {
    Append(" | bad @%lu ", check.badPosition);
    line += check.problem;
  }
  Append(" | reply %lu", static_cast<unsigned long>(reply));
  if (faultText && *faultText) {
    line += " | fault ";
    line += faultText;
  }
  WriteLine();
}

void LogRefusal(const char* name, const char* problem) {
  if (!logFile) return;
  line = name;
  line += " | bad ";
  line += problem;
  line += " | reply 0";
  WriteLine();
}
