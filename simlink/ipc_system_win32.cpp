// The IPC client's operating-system calls on Win32 (see ipc_system.h).
// Plain pass-throughs: the client owns every decision; this file only maps
// opaque pointers to Win32 handles. ANSI (A) entry points throughout, since
// every name in the protocol is plain ASCII and the server uses the same.
#include "simlink/ipc_system.h"

#include <windows.h>

void* IpcSysFindWindow(const char* className) {
  return FindWindowExA(nullptr, nullptr, className, nullptr);
}

uint32_t IpcSysRegisterMessage(const char* name) {
  return RegisterWindowMessageA(name);
}

uint32_t IpcSysCurrentProcessId() { return GetCurrentProcessId(); }

uint16_t IpcSysAddAtom(const char* name) { return GlobalAddAtomA(name); }

void IpcSysDeleteAtom(uint16_t atom) { GlobalDeleteAtom(atom); }

void* IpcSysCreateMapping(const char* name, uint32_t size, bool* alreadyExisted) {
  // Cleared first, so that ERROR_ALREADY_EXISTS can only come from this call.
  SetLastError(0);
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                      0, size, name);
  *alreadyExisted = mapping != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
  return mapping;
}

void* IpcSysMapView(void* mapping) {
  return MapViewOfFile(static_cast<HANDLE>(mapping), FILE_MAP_WRITE, 0, 0, 0);
}

void IpcSysUnmapView(void* view) { UnmapViewOfFile(view); }

void IpcSysCloseHandle(void* handle) { CloseHandle(static_cast<HANDLE>(handle)); }

bool IpcSysSendMessage(void* window, uint32_t message, uint16_t atom,
                       uint32_t timeoutMs, uint64_t* reply) {
  DWORD_PTR result = 0;
  LRESULT sent = SendMessageTimeoutA(static_cast<HWND>(window), message,
                                     static_cast<WPARAM>(atom), 0, SMTO_BLOCK,
                                     timeoutMs, &result);
  *reply = static_cast<uint64_t>(result);
  return sent != 0;
}

void IpcSysSleep(uint32_t milliseconds) { Sleep(milliseconds); }

uint32_t IpcSysGetLastError() { return GetLastError(); }

void IpcSysSetLastError(uint32_t error) { SetLastError(error); }
