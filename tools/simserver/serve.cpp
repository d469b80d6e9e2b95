// Serving one batch message (see serve.h). Window thread only.
//
// A client's block is another process's memory and its atom may name
// anything: every step that can fail answers 0 and leaves the server as it
// was. A list is checked whole before any request is carried out, so a
// malformed batch changes nothing in the data area.
#include "serve.h"

#include <cstring>

#include "batch.h"
#include "batch_log.h"
#include "server_state.h"
#include "window_loop.h"

namespace {

struct ClientBlock {
  char name[256];
  HANDLE mapping;
  uint8_t* view;
  uint32_t limit;  // bytes of the view that requests may use, at most BlockSize
  ULONGLONG lastUse;
};

ClientBlock client = {};
BatchCheck check;  // large: kept out of the window thread's stack

bool OpenClientBlock(const char* name) {
  if (client.view && std::strcmp(client.name, name) == 0) return true;
  ReleaseClientBlock();
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name);
  if (!mapping) return false;
  void* view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
  if (!view) {
    CloseHandle(mapping);
    return false;
  }
  // A mapping smaller than a block (a hostile or broken client) limits the
  // walk to what is really mapped.
  MEMORY_BASIC_INFORMATION info = {};
  if (VirtualQuery(view, &info, sizeof info) == 0) {
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return false;
  }
  std::strcpy(client.name, name);
  client.mapping = mapping;
  client.view = static_cast<uint8_t*>(view);
  client.limit = info.RegionSize < BlockSize ? static_cast<uint32_t>(info.RegionSize) : BlockSize;
  SimServer.blockOpens.fetch_add(1);
  SimServer.blockMapped.store(1);
  return true;
}

uint32_t Refuse(const char* name, const char* problem) {
  LogRefusal(name, problem);
  SimServer.badBatches.fetch_add(1);
  SimServer.batches.fetch_add(1);
  return 0;
}

// The first read of the list, or null when there is none.
const BatchRequest* FirstRead() {
  for (uint32_t i = 0; i < check.count; ++i)
    if (check.requests[i].type == 1) return &check.requests[i];
  return nullptr;
}

void Store32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }

// Faults that damage the block after a batch has been served.
void DamageBlock(const FaultSetting& fault) {
  const BatchRequest* read = FirstRead();
  uint8_t* header = read ? client.view + read->position : nullptr;
  switch (fault.mode) {
    case FaultMode::AlterHeaders:
      if (!header) break;
      if (fault.argument == AlterAll || fault.argument == AlterType) Store32(header, 0x7F);
      if (fault.argument == AlterAll || fault.argument == AlterSize)
        Store32(header + 8, read->size + 8);
      if (fault.argument == AlterAll || fault.argument == AlterDestination)
        Store32(header + 12, read->destination + 0x1000);
      break;
    case FaultMode::HugeSize:
      if (header) Store32(header + 8, fault.argument);
      break;
    case FaultMode::NoEnd: {
      // Reads of 0 bytes at 0x3324 from the end of list to the block's last
      // byte, the last one cut short: a client that walks by type alone
      // runs off the end of its block.
      static const uint8_t pattern[ReadHeaderSize] = {1, 0, 0, 0, 0x24, 0x33, 0, 0,
                                                      0, 0, 0, 0, 0,    0,    0, 0};
      for (uint32_t at = check.endPosition; at < client.limit; ++at)
        client.view[at] = pattern[(at - check.endPosition) % ReadHeaderSize];
      break;
    }
    default:
      break;
  }
}

}  // namespace

uint32_t ServeBatchMessage(WPARAM wParam) {
  FaultSetting fault = CurrentFault();
  if (fault.mode == FaultMode::NoAnswer) {
    WaitWhileNotAnswering();
    fault = CurrentFault();
  }
  if (fault.mode == FaultMode::Slow || fault.mode == FaultMode::Late) Sleep(fault.argument);

  char name[256];
  if (wParam == 0 || wParam > 0xFFFF) {
    std::strcpy(name, "atom ?");
    return Refuse(name, "atom out of range");
  }
  if (GlobalGetAtomNameA(static_cast<ATOM>(wParam), name, sizeof name) == 0) {
    wsprintfA(name, "atom %X", static_cast<unsigned>(wParam));
    return Refuse(name, "atom has no name");
  }
  if (!OpenClientBlock(name)) return Refuse(name, "no mapping of that name");
  client.lastUse = GetTickCount64();

  CheckBatch(client.view, client.limit, DataAreaSize, &check);
  uint32_t reply = 0;
  if (check.ok) {
    uint8_t handshake[HandshakeSize];
    LockServer();
    PresentHandshake(handshake);
    AreaView area = {SimServer.area, DataAreaSize, VersionOffset, handshake, HandshakeSize};
    RunBatch(client.view, check, area);
    UnlockServer();
    reply = fault.mode == FaultMode::BadReply ? fault.argument : 1;
  } else {
    SimServer.badBatches.fetch_add(1);
  }
  char faultText[64] = "";
  if (fault.mode != FaultMode::None) DescribeFault(fault, faultText, sizeof faultText);
  LogBatch(name, client.view, check, reply, faultText);
  if (check.ok) DamageBlock(fault);
  SimServer.batches.fetch_add(1);
  return reply;
}

void ReleaseIdleClientBlock() {
  if (client.view && GetTickCount64() - client.lastUse >= IdleReleaseMs) ReleaseClientBlock();
}

void ReleaseClientBlock() {
  if (client.view) UnmapViewOfFile(client.view);
  if (client.mapping) CloseHandle(client.mapping);
  client = ClientBlock();
  SimServer.blockMapped.store(0);
}
