// Fuzz target: the IPC client's handling of the server's reply.
//
// Input: one byte for the number of requests (1 to 8), three per request
// (kind: read into a variable, read with a null destination, or write; and a
// 15-bit size), then bytes XORed over the block after the fake server has
// answered honestly. An all-zero tail is an honest reply; any set bit is a
// server that changed the block.
//
// Checked on every input: no byte outside a destination ever changes (guard
// bytes, plus AddressSanitizer on the exactly sized block and destinations);
// the exchange succeeds exactly when no header field the server must keep
// (type, size, destination) and no end-of-list byte was changed; a success
// delivers each read's data bytes as they stood in the block, a failure
// delivers nothing and reports IpcErrBadReply.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fake_ipc_system.h"
#include "simlink/ipc_client.h"

namespace {

constexpr size_t kGuard = 16;
constexpr uint8_t kFill = 0xA5;

struct Request {
  bool read;
  uint32_t position;       // header position in the block
  uint32_t size;
  uint8_t* storage;        // guard + destination + guard, for reads with one
};

const uint8_t* delta;
size_t deltaSize;
std::vector<Request> requests;
uint32_t endPosition;
bool headersKept;
std::vector<uint8_t> replyData;  // each read's data as the server left it

void Check(bool condition) {
  if (!condition) std::abort();
}

bool Touched(uint32_t from, uint32_t count) {
  for (uint32_t i = from; i < from + count && i < deltaSize; ++i)
    if (delta[i] != 0) return true;
  return false;
}

void AlterReply(uint8_t* block) {
  for (size_t i = 0; i < deltaSize && i < kIpcBlockSize; ++i) block[i] ^= delta[i];
  headersKept = !Touched(endPosition, 4);
  replyData.clear();
  for (const Request& r : requests) {
    if (Touched(r.position, 4) || Touched(r.position + 8, 4) ||
        (r.read && Touched(r.position + 12, 4)))
      headersKept = false;
    if (r.read) {
      const uint8_t* data = block + r.position + kIpcReadHeaderSize;
      replyData.insert(replyData.end(), data, data + r.size);
    }
  }
}

void OpenOnce() {
  if (IpcLink.block != nullptr) return;
  ResetFakeIpcSystem();
  for (uint32_t i = 0; i < 0x10000; ++i) FakeServer().data[i] = static_cast<uint8_t>(i * 7 + 3);
  int32_t result = -1;
  Check(IpcOpen(0, &result));
  FakeServer().afterServe = AlterReply;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 1) return 0;
  OpenOnce();
  FakeServer().events.clear();
  FakeServer().batches.clear();

  size_t count = 1 + input[0] % 8;
  size_t at = 1;
  requests.clear();
  static const uint8_t source[0x8000] = {};
  for (size_t i = 0; i < count && at + 3 <= size; ++i, at += 3) {
    int kind = input[at] % 3;
    uint32_t bytes = (input[at + 1] | (input[at + 2] & 0x7F) << 8);
    Request r{kind != 2, static_cast<uint32_t>(IpcLink.nextFree - IpcLink.block), bytes, nullptr};
    void* destination = nullptr;
    if (kind == 0) {
      r.storage = static_cast<uint8_t*>(std::malloc(bytes + 2 * kGuard));
      std::memset(r.storage, kFill, bytes + 2 * kGuard);
      destination = r.storage + kGuard;
    }
    int32_t result = -1;
    bool queued = r.read ? IpcRead(0x100 + static_cast<uint32_t>(i), bytes, destination, &result)
                         : IpcWrite(0x100 + static_cast<uint32_t>(i), bytes, source, &result);
    Check(queued == (result == IpcOk));
    if (queued) {
      requests.push_back(r);
    } else {
      Check(result == IpcErrBlockFull);
      std::free(r.storage);
    }
  }
  endPosition = static_cast<uint32_t>(IpcLink.nextFree - IpcLink.block);
  delta = input + at;
  deltaSize = size - at;
  headersKept = true;

  int32_t result = -1;
  bool delivered = IpcProcess(&result);
  if (requests.empty()) {
    Check(!delivered && result == IpcErrNoRequests);
    return 0;
  }
  Check(delivered == headersKept);
  Check(result == (delivered ? IpcOk : IpcErrBadReply));
  Check(IpcLink.nextFree == IpcLink.block);

  size_t data = 0;
  for (Request& r : requests) {
    if (!r.read) continue;
    if (r.storage != nullptr) {
      for (size_t i = 0; i < kGuard; ++i) {
        Check(r.storage[i] == kFill);
        Check(r.storage[kGuard + r.size + i] == kFill);
      }
      for (uint32_t i = 0; i < r.size; ++i)
        Check(r.storage[kGuard + i] == (delivered ? replyData[data + i] : kFill));
      std::free(r.storage);
    }
    data += r.size;
  }
  return 0;
}
