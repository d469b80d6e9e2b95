// The fake operating system and IPC server behind simlink/ipc_system.h
// (see fake_ipc_system.h). An honest server: it refuses a malformed batch
// with reply 0 and never reads or writes outside the block or its data area.
#include "fake_ipc_system.h"

#include <cstring>
#include <map>
#include <memory>

#include "simlink/ipc_system.h"

namespace {

struct FakeMapping {
  std::string name;
  uint32_t size = 0;
  uint8_t* memory = nullptr;
  int handles = 0;      // held by the client
  bool foreign = false;  // also held by someone else
  int views = 0;
};

struct FakeHandle {
  FakeMapping* mapping;
};

char uipcWindowObject, fs98WindowObject;  // their addresses are the window handles
constexpr uint32_t kFakeMessageId = 0xC123;

FakeIpcServerState* server = new FakeIpcServerState;
std::vector<std::unique_ptr<FakeMapping>> mappings;
std::vector<std::unique_ptr<FakeHandle>> handles;
std::map<uint16_t, std::string> atoms;
uint16_t nextAtom = 0xC000;

void ReleaseIfUnused(FakeMapping* mapping) {
  if (mapping->handles > 0 || mapping->views > 0 || mapping->foreign) return;
  for (auto it = mappings.begin(); it != mappings.end(); ++it) {
    if (it->get() == mapping) {
      delete[] mapping->memory;
      mappings.erase(it);
      return;
    }
  }
}

FakeMapping* MappingNamed(const std::string& name) {
  for (auto& mapping : mappings)
    if (mapping->name == name) return mapping.get();
  return nullptr;
}

uint32_t Load32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

// The data area as the server presents it, with the handshake words.
void ReadData(uint32_t offset, uint32_t size, uint8_t* to) {
  std::memcpy(to, server->data + offset, size);
  bool handshake = server->exchanges >= server->handshakeFromExchange;
  uint8_t words[8] = {};  // 0x3304..0x330B
  if (handshake) {
    std::memcpy(words, &server->version, 4);
    std::memcpy(words + 4, &server->simulatorId, 2);
    std::memcpy(words + 6, &server->marker, 2);
  }
  for (uint32_t at = 0x3304; at < 0x330C; ++at)
    if (at >= offset && at - offset < size) to[at - offset] = words[at - 0x3304];
}

// Carries out the batch; false for a malformed one. *end is the position of
// the end-of-list word.
bool Serve(uint8_t* block, uint32_t blockSize, uint32_t* end) {
  uint32_t cursor = 0;
  for (;;) {
    if (blockSize - cursor < 4) return false;
    uint32_t type = Load32(block + cursor);
    if (type == 0) break;
    uint32_t headerSize = type == 1 ? 16 : type == 2 ? 12 : 0;
    if (headerSize == 0 || blockSize - cursor < headerSize) return false;
    uint32_t offset = Load32(block + cursor + 4);
    uint32_t size = Load32(block + cursor + 8);
    if (size > blockSize - cursor - headerSize) return false;
    if (offset > sizeof server->data || size > sizeof server->data - offset) return false;
    uint8_t* data = block + cursor + headerSize;
    if (type == 1) {
      ReadData(offset, size, data);
    } else {
      // The tag written at 0x330A identifies the client; the marker stays.
      if (offset == 0x330A && size == 2) {
        uint16_t tag;
        std::memcpy(&tag, data, 2);
        server->clientTag = tag;
      } else {
        std::memcpy(server->data + offset, data, size);
      }
    }
    cursor += headerSize + size;
  }
  *end = cursor;
  return true;
}

}  // namespace

FakeIpcServerState& FakeServer() { return *server; }

void ResetFakeIpcSystem() {
  for (auto& mapping : mappings) delete[] mapping->memory;
  mappings.clear();
  handles.clear();
  atoms.clear();
  nextAtom = 0xC000;
  delete server;
  server = new FakeIpcServerState;
}

int FakeLiveAtoms() { return static_cast<int>(atoms.size()); }
int FakeOpenMappingHandles() { return static_cast<int>(handles.size()); }

int FakeMappedViews() {
  int views = 0;
  for (auto& mapping : mappings) views += mapping->views;
  return views;
}

void FakeCreateForeignMapping(const std::string& name) {
  auto mapping = std::make_unique<FakeMapping>();
  mapping->name = name;
  mapping->size = 0x8000;
  mapping->memory = new uint8_t[mapping->size]();
  mapping->foreign = true;
  mappings.push_back(std::move(mapping));
}

void FakePoke(uint32_t offset, uint32_t size, uint64_t value) {
  for (uint32_t i = 0; i < size; ++i)
    server->data[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// ---- ipc_system.h ----------------------------------------------------------

void* IpcSysFindWindow(const char* className) {
  if (std::strcmp(className, "UIPCMAIN") == 0 && server->uipcWindow) return &uipcWindowObject;
  if (std::strcmp(className, "FS98MAIN") == 0 && server->fs98Window) return &fs98WindowObject;
  return nullptr;
}

uint32_t IpcSysRegisterMessage(const char* name) {
  if (server->refuseMessage || std::strcmp(name, "FsasmLib:IPC") != 0) return 0;
  return kFakeMessageId;
}

uint32_t IpcSysCurrentProcessId() { return 0x1A2B; }

uint16_t IpcSysAddAtom(const char* name) {
  server->atomNames.push_back(name);
  if (server->refuseAtom) return 0;
  atoms[nextAtom] = name;
  return nextAtom++;
}

void IpcSysDeleteAtom(uint16_t atom) {
  server->releases.push_back("atom");
  atoms.erase(atom);
}

void* IpcSysCreateMapping(const char* name, uint32_t size, bool* alreadyExisted) {
  *alreadyExisted = false;
  if (server->refuseMapping) return nullptr;
  FakeMapping* mapping = MappingNamed(name);
  if (mapping != nullptr) {
    *alreadyExisted = true;
  } else {
    auto made = std::make_unique<FakeMapping>();
    made->name = name;
    made->size = size;
    made->memory = new uint8_t[size]();
    mapping = made.get();
    mappings.push_back(std::move(made));
  }
  mapping->handles++;
  handles.push_back(std::make_unique<FakeHandle>(FakeHandle{mapping}));
  return handles.back().get();
}

void* IpcSysMapView(void* handle) {
  if (server->refuseView) return nullptr;
  FakeMapping* mapping = static_cast<FakeHandle*>(handle)->mapping;
  mapping->views++;
  return mapping->memory;
}

void IpcSysUnmapView(void* view) {
  server->releases.push_back("view");
  for (auto& mapping : mappings) {
    if (mapping->memory == view && mapping->views > 0) {
      mapping->views--;
      ReleaseIfUnused(mapping.get());
      return;
    }
  }
}

void IpcSysCloseHandle(void* handle) {
  server->releases.push_back("mapping");
  for (auto it = handles.begin(); it != handles.end(); ++it) {
    if (it->get() == handle) {
      FakeMapping* mapping = (*it)->mapping;
      handles.erase(it);
      mapping->handles--;
      ReleaseIfUnused(mapping);
      return;
    }
  }
}

bool IpcSysSendMessage(void* window, uint32_t message, uint16_t atom, uint32_t timeoutMs,
                       uint64_t* reply) {
  server->events.push_back("send");
  *reply = 0;
  bool windowExists = (window == &uipcWindowObject && server->uipcWindow) ||
                      (window == &fs98WindowObject && server->fs98Window);
  if (!windowExists) {
    server->lastError = 1400;
    return false;
  }
  if (server->failingSends > 0) {
    server->failingSends--;
    server->lastError = server->sendError;
    return false;
  }
  if (message != kFakeMessageId || timeoutMs == 0) return true;  // not ours: DefWindowProc's 0
  server->exchanges++;
  auto named = atoms.find(atom);
  FakeMapping* mapping = named == atoms.end() ? nullptr : MappingNamed(named->second);
  if (mapping == nullptr) return true;
  std::vector<uint8_t> sent(mapping->memory, mapping->memory + mapping->size);
  uint32_t end = 0;
  if (!Serve(mapping->memory, mapping->size, &end)) return true;
  sent.resize(end + 4);
  server->batches.push_back(std::move(sent));
  if (server->afterServe) server->afterServe(mapping->memory);
  *reply = server->reply;
  return true;
}

void IpcSysSleep(uint32_t milliseconds) {
  server->events.push_back("sleep " + std::to_string(milliseconds));
}

uint32_t IpcSysGetLastError() { return server->lastError; }
void IpcSysSetLastError(uint32_t error) { server->lastError = error; }
