// The operating-system calls that the IPC client makes: window lookup,
// registered messages, global atoms, named paging-file mappings, the message
// send with a time-out, the pause and the thread's last-error value.
//
// One header, implementations chosen at link time:
//   ipc_system_win32.cpp       the Win32 calls (the gauge, Windows tests)
//   tests/host/fake_ipc_system  an in-process fake server (host tests, fuzzing)
//
// Handles are opaque pointers here so that the client stays free of
// <windows.h>. Called only by the IPC client, whose callers serialize every
// use (workers, under FlightDataLock).
#pragma once
#include <cstdint>

// A top-level window of the given class, any title; null when none exists.
void* IpcSysFindWindow(const char* className);

// The number registered for a message name; 0 when the system refuses.
uint32_t IpcSysRegisterMessage(const char* name);

uint32_t IpcSysCurrentProcessId();

// Adds a global atom of that name: non-zero, or 0 when the system refuses.
uint16_t IpcSysAddAtom(const char* name);
void IpcSysDeleteAtom(uint16_t atom);

// Creates a named read-write mapping of `size` bytes backed by the paging
// file. Null on failure. When a mapping of that name existed already, the
// system still returns a handle (to the existing one) and sets
// *alreadyExisted; the caller must close it.
void* IpcSysCreateMapping(const char* name, uint32_t size, bool* alreadyExisted);
// Maps the whole mapping with write access; null on failure.
void* IpcSysMapView(void* mapping);
void IpcSysUnmapView(void* view);
void IpcSysCloseHandle(void* handle);

// Sends `message` to `window` with wParam = `atom` (zero-extended) and
// lParam = 0, blocking this thread (SMTO_BLOCK) for at most `timeoutMs`.
// True when the message was delivered and answered; *reply is the server's
// result then.
bool IpcSysSendMessage(void* window, uint32_t message, uint16_t atom,
                       uint32_t timeoutMs, uint64_t* reply);

void IpcSysSleep(uint32_t milliseconds);
uint32_t IpcSysGetLastError();
void IpcSysSetLastError(uint32_t error);
