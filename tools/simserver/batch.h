// One batch of requests in a client's shared block: checking it, then
// carrying it out against the server's data area.
//
// The block holds requests back to back from byte 0, with no alignment:
//   read   type 1, offset, size, destination (16 bytes), then size data bytes
//          that the server fills;
//   write  type 2, offset, size (12 bytes), then size data bytes to store;
// and ends with a 32-bit zero where the next type would stand. All numbers
// are little-endian, as on every machine this server runs on.
//
// The block is another process's memory: CheckBatch reads each header once
// and records it, and RunBatch works only from those records, so a client
// that changes its headers in between cannot move a copy out of bounds.
// Portable: no Windows header.
#pragma once
#include <cstdint>

constexpr uint32_t BlockSize = 0x8000;
constexpr uint32_t ReadHeaderSize = 16;
constexpr uint32_t WriteHeaderSize = 12;
// Every request takes at least a write header.
constexpr uint32_t MaxBatchRequests = BlockSize / WriteHeaderSize + 1;

struct BatchRequest {
  uint32_t type;         // 1 read, 2 write
  uint32_t offset;       // in the data area
  uint32_t size;         // data bytes
  uint32_t destination;  // reads only: the client's own field, never used here
  uint32_t position;     // byte of the block where the header starts
};

struct BatchCheck {
  bool ok;
  uint32_t count;        // requests recorded (before the end, or before the fault)
  uint32_t endPosition;  // ok: where the end-of-list zero stands
  uint32_t badPosition;  // not ok: where the faulty request starts
  const char* problem;   // not ok: a short reason, for the log
  BatchRequest requests[MaxBatchRequests];
};

// Checks the list in block[0, limit) against a data area of areaSize bytes:
// every header and its data lie inside the block, every offset + size inside
// the area, the list ends with a zero type inside the block. Changes nothing.
void CheckBatch(const uint8_t* block, uint32_t limit, uint32_t areaSize, BatchCheck* check);

// What reads see of the data area: its bytes, except overlaySize bytes from
// overlayOffset, which come from `overlay` (the handshake words the server
// presents whatever a client wrote there).
struct AreaView {
  uint8_t* bytes;
  uint32_t size;
  uint32_t overlayOffset;
  const uint8_t* overlay;
  uint32_t overlaySize;
};

// Carries out the requests of a check that is ok, in list order: reads copy
// from the area (with the overlay) into the block, writes copy from the block
// into the area. Headers are left as they were.
void RunBatch(uint8_t* block, const BatchCheck& check, const AreaView& area);
