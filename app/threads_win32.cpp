// Worker threads on Win32. At most two workers live at a time (ConnectWorker
// and one ReadWorker), so their records sit in a small fixed table; a
// record is freed as soon as its thread is seen to have ended.
#include "app/threads.h"

#include <windows.h>

namespace {

struct ThreadRecord {
  HANDLE handle;
  DWORD id;
  void (*procedure)(int);
  int argument;
  const wchar_t* name;
};

// SetThreadDescription exists from Windows 10 1607 on; looked up at run
// time so the exe still starts on older systems.
void NameCurrentThread(const wchar_t* name) {
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto setDescription = kernel ? reinterpret_cast<SetDescription>(reinterpret_cast<void*>(
                                     GetProcAddress(kernel, "SetThreadDescription")))
                               : nullptr;
  if (setDescription && name) setDescription(GetCurrentThread(), name);
}

ThreadRecord threadRecords[8];

DWORD WINAPI ThreadEntry(LPVOID parameter) {
  ThreadRecord* record = static_cast<ThreadRecord*>(parameter);
  NameCurrentThread(record->name);
  record->procedure(record->argument);
  return 0;
}

void ReapEndedThreads() {
  for (ThreadRecord& record : threadRecords) {
    if (record.handle && WaitForSingleObject(record.handle, 0) == WAIT_OBJECT_0) {
      CloseHandle(record.handle);
      record = ThreadRecord{};
    }
  }
}

}  // namespace

uint32_t StartThread(void (*procedure)(int), int argument, const wchar_t* name) {
  ReapEndedThreads();
  for (ThreadRecord& record : threadRecords) {
    if (record.handle) continue;
    record.procedure = procedure;
    record.argument = argument;
    record.name = name;
    DWORD id = 0;
    HANDLE handle = CreateThread(nullptr, 0, ThreadEntry, &record, 0, &id);
    if (!handle) {
      record = ThreadRecord{};
      return 0;
    }
    record.handle = handle;
    record.id = id;
    return id;
  }
  return 0;
}

bool ThreadRunning(uint32_t id) {
  if (id == 0) return false;
  for (ThreadRecord& record : threadRecords) {
    if (!record.handle || record.id != id) continue;
    if (WaitForSingleObject(record.handle, 0) == WAIT_TIMEOUT) return true;
    CloseHandle(record.handle);
    record = ThreadRecord{};
    return false;
  }
  return false;
}

void ReleaseThreadRecords() {
  for (ThreadRecord& record : threadRecords) {
    if (record.handle) CloseHandle(record.handle);
    record = ThreadRecord{};
  }
}
