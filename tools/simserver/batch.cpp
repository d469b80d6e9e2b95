// Checking and carrying out one batch of requests (see batch.h).
// Portable: no Windows header. Called by the window thread only.
#include "batch.h"

#include <cstring>

namespace {

uint32_t Load32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void Fail(BatchCheck* check, uint32_t position, const char* problem) {
  check->ok = false;
  check->badPosition = position;
  check->problem = problem;
}

}  // namespace

void CheckBatch(const uint8_t* block, uint32_t limit, uint32_t areaSize, BatchCheck* check) {
  check->ok = false;
  check->count = 0;
  check->endPosition = 0;
  check->badPosition = 0;
  check->problem = nullptr;
  // All arithmetic below stays within 32 bits: position <= limit always, and
  // sizes are compared against what is left rather than added to positions.
  uint32_t position = 0;
  for (;;) {
    if (limit < 4 || position > limit - 4) return Fail(check, position, "no end of list");
    uint32_t type = Load32(block + position);
    if (type == 0) {
      check->ok = true;
      check->endPosition = position;
      return;
    }
    uint32_t header = type == 1 ? ReadHeaderSize : type == 2 ? WriteHeaderSize : 0;
    if (header == 0) return Fail(check, position, "unknown type");
    if (limit - position < header) return Fail(check, position, "header cut by the block end");
    uint32_t offset = Load32(block + position + 4);
    uint32_t size = Load32(block + position + 8);
    if (size > limit - position - header) return Fail(check, position, "data beyond the block");
    if (static_cast<uint64_t>(offset) + size > areaSize)
      return Fail(check, position, "beyond the data area");
    if (check->count == MaxBatchRequests) return Fail(check, position, "too many requests");
    BatchRequest& request = check->requests[check->count++];
    request.type = type;
    request.offset = offset;
    request.size = size;
    request.destination = type == 1 ? Load32(block + position + 12) : 0;
    request.position = position;
    position += header + size;
  }
}

void RunBatch(uint8_t* block, const BatchCheck& check, const AreaView& area) {
  for (uint32_t i = 0; i < check.count; ++i) {
    const BatchRequest& request = check.requests[i];
    if (request.type == 1) {
      uint8_t* data = block + request.position + ReadHeaderSize;
      std::memcpy(data, area.bytes + request.offset, request.size);
      // The part of the read that falls on the overlay shows the overlay.
      uint32_t from = request.offset > area.overlayOffset ? request.offset : area.overlayOffset;
      uint64_t readEnd = static_cast<uint64_t>(request.offset) + request.size;
      uint64_t overlayEnd = static_cast<uint64_t>(area.overlayOffset) + area.overlaySize;
      uint64_t to = readEnd < overlayEnd ? readEnd : overlayEnd;
      for (uint64_t at = from; at < to; ++at)
        data[at - request.offset] = area.overlay[at - area.overlayOffset];
    } else {
      std::memcpy(area.bytes + request.offset, block + request.position + WriteHeaderSize,
                  request.size);
    }
  }
}
