// The client of the simulator's IPC server: requests are queued in a named
// 32 KiB shared block, handed to the server's window with one registered
// message, and the values read are copied to their callers' variables when
// the message returns.
//
// Limits: one link per process (IpcLink), no lock of its own. Every caller
// serializes its calls (workers, under FlightDataLock). A call may block for
// long: IpcProcess up to nine sends of 2,000 ms with 100 ms pauses (18.9 s),
// IpcOpen up to five such exchanges and five 100 ms pauses.
//
// The server is another process that can write the whole block. The client
// therefore keeps its own record of every request it queued, and after the
// reply trusts the block only for the data bytes: each read's value goes to
// the destination given to IpcRead, with that read's size, and a reply whose
// headers differ from what was queued delivers nothing and fails with
// IpcErrBadReply.
//
// Dependencies: ipc_system.h (the operating-system calls).
#pragma once
#include <cstdint>

// Stored through the result pointer of every operation, on every path.
enum IpcResultCode : int32_t {
  IpcOk = 0,
  IpcErrAlreadyOpen = 1,      // IpcOpen: the link is open already; nothing changes
  IpcErrNoServer = 2,         // IpcOpen: no "UIPCMAIN" or "FS98MAIN" window
  IpcErrRegisterMessage = 3,  // IpcOpen: "FsasmLib:IPC" could not be registered
  IpcErrAtom = 4,             // IpcOpen: the global atom was refused
  IpcErrMapping = 5,          // IpcOpen: mapping failed, or its name existed
  IpcErrView = 6,             // IpcOpen: the view could not be mapped
  IpcErrVersion = 7,          // IpcOpen: invalid handshake, window "UIPCMAIN"
  IpcErrWrongSimulator = 8,   // IpcOpen: valid handshake, another simulator
  IpcErrNotOpen = 9,          // the link is not open
  IpcErrNoRequests = 10,      // IpcProcess: nothing queued
  IpcErrNoAnswer = 11,        // IpcProcess: nine sends failed, last-error 0
  IpcErrSendFailed = 12,      // IpcProcess: nine sends failed, last-error set
  IpcErrBadReply = 13,        // IpcProcess: reply not 1, or headers altered
  IpcErrVersionFallback = 14, // IpcOpen: invalid handshake, window "FS98MAIN"
  IpcErrBlockFull = 15,       // IpcRead, IpcWrite: the request does not fit
};

constexpr uint32_t kIpcBlockSize = 0x8000;      // bytes of the shared block
constexpr uint32_t kIpcQueueCapacity = 0x7F00;  // bytes that requests may use
constexpr uint32_t kIpcReadHeaderSize = 16;
constexpr uint32_t kIpcWriteHeaderSize = 12;
constexpr uint32_t kIpcRequestRead = 1;
constexpr uint32_t kIpcRequestWrite = 2;
// Every request is admitted only while 16 bytes more than its data fit, and
// the smallest request (a write of no data) takes 12 bytes: at most
// (32,512 - 16) / 12 requests can precede the last one admitted.
constexpr uint32_t kIpcMaxRequests =
    (kIpcQueueCapacity - kIpcReadHeaderSize) / kIpcWriteHeaderSize + 1;

// The client's own record of one queued request.
struct IpcQueuedRequest {
  uint32_t position;  // byte offset of its header in the block
  uint32_t type;      // kIpcRequestRead or kIpcRequestWrite
  uint32_t size;      // data bytes
  void* destination;  // reads: where the value goes (may be null)
};

struct IpcLinkState {
  void* serverWindow = nullptr;  // found by IpcOpen; null after IpcClose
  uint32_t messageId = 0;        // "FsasmLib:IPC"; 0 after IpcClose
  uint16_t atom = 0;             // names the block; 0 = none
  void* mapping = nullptr;       // the block's file mapping; null = none
  uint8_t* block = nullptr;      // the mapped block; the link is open exactly when non-null
  uint8_t* nextFree = nullptr;   // where the next request goes; == block when the queue is empty
  uint32_t serverVersion = 0;    // handshake value of offset 0x3304
  uint32_t simulatorTag = 0;     // handshake value of 0x3308; the simulator id once valid
  uint32_t queuedCount = 0;      // entries of `queued` in use
  IpcQueuedRequest queued[kIpcMaxRequests] = {};
};

extern IpcLinkState IpcLink;
// Numbers the shared blocks of this process; only grows, never reset.
extern uint32_t nameCounter;

// Each operation below: worker, under FlightDataLock. A null result pointer
// is allowed and receives nothing.

// Opens the link and runs the handshake. simulatorId 0 accepts any simulator.
// True when the link is open with a valid handshake and an empty queue.
bool IpcOpen(uint32_t simulatorId, int32_t* result);

// Queues a read of `size` bytes at simulator `offset`, delivered to
// `destination` (may be null: the value is dropped) by the next IpcProcess.
// The destination must stay valid until that IpcProcess returns.
bool IpcRead(uint32_t offset, uint32_t size, void* destination, int32_t* result);

// Queues a write of `size` bytes copied from `source` now (a null source
// writes zeros).
bool IpcWrite(uint32_t offset, uint32_t size, const void* source, int32_t* result);

// Exchanges the queued batch with the server and delivers the values read.
// The queue is empty afterwards whenever something was queued. Never closes
// the link; that is the caller's choice after a failure.
bool IpcProcess(int32_t* result);

// Releases the atom, the view and the mapping. Harmless on a closed link.
void IpcClose();
