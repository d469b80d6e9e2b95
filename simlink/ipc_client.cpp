// The IPC client: IpcOpen and its handshake, queueing of reads and writes,
// the exchange with the server and the delivery of the values read.
//
// Block layout (little-endian, requests back to back from byte 0, no gaps):
//   read   type 1, offset, size, destination (4 bytes each), then `size`
//          data bytes, zero-filled when queued and filled by the server
//   write  type 2, offset, size (4 bytes each), then the `size` bytes
//   end    a 32-bit zero where the next request's type would stand
//
// The destination field is 32 bits wide. A 64-bit client puts the low 32
// bits of the address there: the server leaves the field unchanged and never
// interprets it, and the client finds the real destination in its own
// record of the queue, never in the block.
//
// Portable: the operating-system calls go through ipc_system.h. Queueing
// allocates nothing.
#include "simlink/ipc_client.h"

#include <cstdio>
#include <cstring>

#include "simlink/ipc_system.h"

IpcLinkState IpcLink;
uint32_t nameCounter = 0;

namespace {

const char kMessageName[] = "FsasmLib:IPC";
const char kServerClass[] = "UIPCMAIN";
const char kFallbackServerClass[] = "FS98MAIN";

constexpr uint32_t kSendAttempts = 9;
constexpr uint32_t kSendTimeoutMs = 2000;
constexpr uint32_t kSendRetryPauseMs = 100;
constexpr int kHandshakePasses = 5;
constexpr uint32_t kHandshakePauseMs = 100;

constexpr uint32_t kServerVersionOffset = 0x3304;
constexpr uint32_t kSimulatorTagOffset = 0x3308;
constexpr uint32_t kClientTagOffset = 0x330A;
constexpr uint32_t kMinServerVersion = 0x19980005;
constexpr uint32_t kServerMarker = 0xFADE;
// What the client writes to 0x330A in its first batch: 2002, little-endian.
constexpr uint8_t kClientTag[2] = {0xD2, 0x07};

int32_t unwantedResult;  // receives the codes of callers that pass no pointer

int32_t* ResultSlot(int32_t* result) { return result ? result : &unwantedResult; }

void StoreLe32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
  at[2] = static_cast<uint8_t>(value >> 16);
  at[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t LoadLe32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

uint32_t DestinationField(const void* destination) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(destination));
}

uint32_t QueuedLength() { return static_cast<uint32_t>(IpcLink.nextFree - IpcLink.block); }

// (queued length) + size + 16 <= 32,512, without overflow. The same 16 serves
// writes too, although their header has 12 bytes, so the end-of-list word
// always fits behind the last request.
bool RequestFits(uint32_t size) {
  if (IpcLink.queuedCount >= kIpcMaxRequests) return false;  // cannot happen; see kIpcMaxRequests
  uint32_t used = QueuedLength();
  if (used > kIpcQueueCapacity - kIpcReadHeaderSize) return false;
  return size <= kIpcQueueCapacity - kIpcReadHeaderSize - used;
}

bool Enqueue(uint32_t type, uint32_t offset, uint32_t size, const void* source,
             void* destination, int32_t* result) {
  if (IpcLink.block == nullptr) {
    *result = IpcErrNotOpen;
    return false;
  }
  if (!RequestFits(size)) {
    *result = IpcErrBlockFull;
    return false;
  }
  uint8_t* header = IpcLink.nextFree;
  StoreLe32(header, type);
  StoreLe32(header + 4, offset);
  StoreLe32(header + 8, size);
  uint32_t headerSize = kIpcWriteHeaderSize;
  if (type == kIpcRequestRead) {
    StoreLe32(header + 12, DestinationField(destination));
    headerSize = kIpcReadHeaderSize;
  }
  if (size != 0) {
    if (source != nullptr)
      std::memcpy(header + headerSize, source, size);
    else
      std::memset(header + headerSize, 0, size);
  }
  IpcQueuedRequest& entry = IpcLink.queued[IpcLink.queuedCount++];
  entry.position = static_cast<uint32_t>(header - IpcLink.block);
  entry.type = type;
  entry.size = size;
  entry.destination = destination;
  IpcLink.nextFree = header + headerSize + size;
  *result = IpcOk;
  return true;
}

// True when every header the server returned is the one that was queued,
// with the end-of-list word still zero behind them. Each header is read once,
// and only at the places the client wrote it, so nothing outside the queued
// length is read whatever the server put in the block. The offset field is
// not compared: the server is bound to keep type, size and destination only.
bool ReplyMatchesQueue(uint32_t count, uint32_t endPosition) {
  for (uint32_t i = 0; i < count; ++i) {
    const IpcQueuedRequest& entry = IpcLink.queued[i];
    const uint8_t* header = IpcLink.block + entry.position;
    if (LoadLe32(header) != entry.type) return false;
    if (LoadLe32(header + 8) != entry.size) return false;
    if (entry.type == kIpcRequestRead &&
        LoadLe32(header + 12) != DestinationField(entry.destination))
      return false;
  }
  return LoadLe32(IpcLink.block + endPosition) == 0;
}

void DeliverReads(uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    const IpcQueuedRequest& entry = IpcLink.queued[i];
    if (entry.type != kIpcRequestRead || entry.destination == nullptr || entry.size == 0)
      continue;
    std::memcpy(entry.destination, IpcLink.block + entry.position + kIpcReadHeaderSize,
                entry.size);
  }
}

}  // namespace

bool IpcOpen(uint32_t simulatorId, int32_t* result) {
  result = ResultSlot(result);
  if (IpcLink.block != nullptr) {
    *result = IpcErrAlreadyOpen;
    return false;
  }
  IpcLink.serverVersion = 0;
  IpcLink.simulatorTag = 0;

  bool fallbackClass = false;
  IpcLink.serverWindow = IpcSysFindWindow(kServerClass);
  if (IpcLink.serverWindow == nullptr) {
    IpcLink.serverWindow = IpcSysFindWindow(kFallbackServerClass);
    fallbackClass = true;
  }
  if (IpcLink.serverWindow == nullptr) {
    *result = IpcErrNoServer;
    return false;
  }

  IpcLink.messageId = IpcSysRegisterMessage(kMessageName);
  if (IpcLink.messageId == 0) {
    *result = IpcErrRegisterMessage;
    return false;
  }

  // A new number for every attempt that gets this far, so this process
  // never offers the server a name it has used before.
  ++nameCounter;
  char blockName[260];
  std::snprintf(blockName, sizeof blockName, "FsasmLib:IPC:%X:%X",
                static_cast<unsigned>(IpcSysCurrentProcessId()),
                static_cast<unsigned>(nameCounter));

  IpcLink.atom = IpcSysAddAtom(blockName);
  if (IpcLink.atom == 0) {
    *result = IpcErrAtom;
    IpcClose();
    return false;
  }

  // An existing mapping of this name belongs to someone else: sharing it
  // would hand our requests to whoever holds it.
  bool alreadyExisted = false;
  IpcLink.mapping = IpcSysCreateMapping(blockName, kIpcBlockSize, &alreadyExisted);
  if (IpcLink.mapping == nullptr || alreadyExisted) {
    *result = IpcErrMapping;
    IpcClose();
    return false;
  }

  IpcLink.block = static_cast<uint8_t*>(IpcSysMapView(IpcLink.mapping));
  if (IpcLink.block == nullptr) {
    *result = IpcErrView;
    IpcClose();
    return false;
  }
  IpcLink.nextFree = IpcLink.block;
  IpcLink.queuedCount = 0;

  // The first batch reads 0x3308 before writing 0x330A, so the server's
  // marker reaches simulatorTag before the client's own tag is written there.
  for (int pass = 1; pass <= kHandshakePasses; ++pass) {
    if (pass > 1 && IpcLink.serverVersion != 0 && IpcLink.simulatorTag != 0) break;
    bool exchanged =
        IpcRead(kServerVersionOffset, 4, &IpcLink.serverVersion, result) &&
        IpcRead(kSimulatorTagOffset, 4, &IpcLink.simulatorTag, result) &&
        (pass > 1 || IpcWrite(kClientTagOffset, 2, kClientTag, result)) &&
        IpcProcess(result);
    if (!exchanged) {
      IpcClose();
      return false;
    }
    IpcSysSleep(kHandshakePauseMs);
  }

  if (IpcLink.serverVersion < kMinServerVersion || (IpcLink.simulatorTag >> 16) != kServerMarker) {
    *result = fallbackClass ? IpcErrVersionFallback : IpcErrVersion;
    IpcClose();
    return false;
  }
  IpcLink.simulatorTag &= 0xFFFF;
  if (simulatorId != 0 && simulatorId != IpcLink.simulatorTag) {
    *result = IpcErrWrongSimulator;
    IpcClose();
    return false;
  }
  *result = IpcOk;
  return true;
}

bool IpcRead(uint32_t offset, uint32_t size, void* destination, int32_t* result) {
  return Enqueue(kIpcRequestRead, offset, size, nullptr, destination, ResultSlot(result));
}

bool IpcWrite(uint32_t offset, uint32_t size, const void* source, int32_t* result) {
  return Enqueue(kIpcRequestWrite, offset, size, source, nullptr, ResultSlot(result));
}

bool IpcProcess(int32_t* result) {
  result = ResultSlot(result);
  if (IpcLink.block == nullptr) {
    *result = IpcErrNotOpen;
    return false;
  }
  if (IpcLink.nextFree == IpcLink.block) {
    *result = IpcErrNoRequests;
    return false;
  }

  // From here on the queue is empty whatever the outcome; the record of the
  // batch stays readable in `queued` until the next request is queued.
  uint32_t endPosition = QueuedLength();
  uint32_t count = IpcLink.queuedCount;
  StoreLe32(IpcLink.nextFree, 0);
  IpcLink.nextFree = IpcLink.block;
  IpcLink.queuedCount = 0;

  uint64_t reply = 0;
  bool answered = false;
  for (uint32_t attempt = 0; attempt < kSendAttempts && !answered; ++attempt) {
    // Cleared before each send: after the last failure, last-error tells a
    // send that the system refused (a vanished window) from a silent one.
    IpcSysSetLastError(0);
    answered = IpcSysSendMessage(IpcLink.serverWindow, IpcLink.messageId, IpcLink.atom,
                                 kSendTimeoutMs, &reply);
    if (!answered) IpcSysSleep(kSendRetryPauseMs);
  }
  if (!answered) {
    *result = IpcSysGetLastError() == 0 ? IpcErrNoAnswer : IpcErrSendFailed;
    return false;
  }
  if (reply != 1 || !ReplyMatchesQueue(count, endPosition)) {
    *result = IpcErrBadReply;
    return false;
  }
  DeliverReads(count);
  *result = IpcOk;
  return true;
}

void IpcClose() {
  IpcLink.serverWindow = nullptr;
  IpcLink.messageId = 0;
  if (IpcLink.atom != 0) {
    IpcSysDeleteAtom(IpcLink.atom);
    IpcLink.atom = 0;
  }
  if (IpcLink.block != nullptr) {
    IpcSysUnmapView(IpcLink.block);
    IpcLink.block = nullptr;
  }
  if (IpcLink.mapping != nullptr) {
    IpcSysCloseHandle(IpcLink.mapping);
    IpcLink.mapping = nullptr;
  }
}
