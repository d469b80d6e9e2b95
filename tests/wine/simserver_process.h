// Test support: runs the stand-in server (simserver.exe, next to the test
// program) with pipes on its standard input and output, and lays out
// request lists in a shared block by hand, as a client would, without the
// gauge's IPC client (the server is tested against its own reading of the
// protocol). Header-only; for Windows test programs and the benchmark.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// ---- the server process ------------------------------------------------------

struct ServerProcess {
  PROCESS_INFORMATION process = {};
  HANDLE input = nullptr;   // our end of its standard input
  HANDLE output = nullptr;  // our end of its standard output
  HANDLE job = nullptr;     // kills the server if the test dies
  std::string pending;      // bytes read but not yet split into lines
  std::vector<std::string> notices;  // lines that were not command replies
  HWND window = nullptr;    // from its "ready" line
};

inline std::string ServerExePath() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path, n);
  size_t slash = text.find_last_of("\\/");
  return text.substr(0, slash + 1) + "simserver.exe";
}

// One line of the server's output, without its end; false after timeoutMs.
inline bool ReadServerLine(ServerProcess* server, std::string* line, DWORD timeoutMs) {
  ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    size_t end = server->pending.find('\n');
    if (end != std::string::npos) {
      *line = server->pending.substr(0, end);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      server->pending.erase(0, end + 1);
      return true;
    }
    DWORD available = 0;
    if (!PeekNamedPipe(server->output, nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available > 0) {
      char chunk[4096];
      DWORD got = 0;
      DWORD want = available < sizeof chunk ? available : static_cast<DWORD>(sizeof chunk);
      if (!ReadFile(server->output, chunk, want, &got, nullptr)) return false;
      server->pending.append(chunk, got);
      continue;
    }
    if (GetTickCount64() > deadline) return false;
    Sleep(2);
  }
}

// Waits for a line that starts with `prefix` (notices first); false on time-out.
inline bool WaitServerLine(ServerProcess* server, const char* prefix, std::string* line,
                           DWORD timeoutMs) {
  for (size_t i = 0; i < server->notices.size(); ++i) {
    if (server->notices[i].rfind(prefix, 0) == 0) {
      *line = server->notices[i];
      server->notices.erase(server->notices.begin() + static_cast<long>(i));
      return true;
    }
  }
  ULONGLONG deadline = GetTickCount64() + timeoutMs;
  std::string text;
  while (GetTickCount64() <= deadline) {
    ULONGLONG now = GetTickCount64();
    if (!ReadServerLine(server, &text, static_cast<DWORD>(deadline - now))) return false;
    if (text.rfind(prefix, 0) == 0) {
      *line = text;
      return true;
    }
    server->notices.push_back(text);
  }
  return false;
}

inline bool StartServer(ServerProcess* server, const std::string& arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE childInput = nullptr, childOutput = nullptr;
  if (!CreatePipe(&childInput, &server->input, &inherit, 0)) return false;
  if (!CreatePipe(&server->output, &childOutput, &inherit, 0)) return false;
  SetHandleInformation(server->input, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(server->output, HANDLE_FLAG_INHERIT, 0);

  std::string command = "\"" + ServerExePath() + "\" " + arguments;
  std::vector<char> commandLine(command.begin(), command.end());
  commandLine.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childInput;
  startup.hStdOutput = childOutput;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &server->process);
  CloseHandle(childInput);
  CloseHandle(childOutput);
  if (!started) return false;

  server->job = CreateJobObjectW(nullptr, nullptr);
  if (server->job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(server->job, JobObjectExtendedLimitInformation, &limits,
                            sizeof limits);
    AssignProcessToJobObject(server->job, server->process.hProcess);
  }
  std::string ready;
  if (!WaitServerLine(server, "ready ", &ready, 30000)) return false;
  size_t at = ready.find("hwnd=");
  if (at != std::string::npos)
    server->window = reinterpret_cast<HWND>(
        static_cast<uintptr_t>(std::strtoull(ready.c_str() + at + 5, nullptr, 10)));
  return true;
}

inline bool SendServerLine(ServerProcess* server, const std::string& line) {
  std::string text = line + "\n";
  DWORD written = 0;
  return WriteFile(server->input, text.data(), static_cast<DWORD>(text.size()), &written,
                   nullptr) &&
         written == text.size();
}

// Sends one command and returns its reply line ("ok ..." or "error ..."),
// or "" on time-out. Other lines are kept as notices.
inline std::string ServerCommand(ServerProcess* server, const std::string& line,
                                 DWORD timeoutMs = 10000) {
  if (!SendServerLine(server, line)) return "";
  ULONGLONG deadline = GetTickCount64() + timeoutMs;
  std::string text;
  while (GetTickCount64() <= deadline) {
    ULONGLONG now = GetTickCount64();
    if (!ReadServerLine(server, &text, static_cast<DWORD>(deadline - now))) return "";
    if (text.rfind("ok", 0) == 0 || text.rfind("error", 0) == 0) return text;
    server->notices.push_back(text);
  }
  return "";
}

// The number after "key=" in a status line; -1 when absent.
inline long long StatusField(const std::string& status, const char* key) {
  std::string pattern = std::string(" ") + key + "=";
  size_t at = status.find(pattern);
  if (at == std::string::npos) return -1;
  return std::strtoll(status.c_str() + at + pattern.size(), nullptr, 0);
}

// Asks the server to quit and waits; kills it when it does not end.
// Returns its exit code, or -1 when it had to be killed.
inline int StopServer(ServerProcess* server, DWORD timeoutMs = 10000) {
  if (!server->process.hProcess) return -1;
  int code = -1;
  SendServerLine(server, "quit");
  if (WaitForSingleObject(server->process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    GetExitCodeProcess(server->process.hProcess, &exitCode);
    code = static_cast<int>(exitCode);
  } else {
    TerminateProcess(server->process.hProcess, 99);
    WaitForSingleObject(server->process.hProcess, 5000);
  }
  CloseHandle(server->process.hProcess);
  CloseHandle(server->process.hThread);
  if (server->input) CloseHandle(server->input);
  if (server->output) CloseHandle(server->output);
  if (server->job) CloseHandle(server->job);
  *server = ServerProcess();
  return code;
}

// ---- a shared block laid out by hand ---------------------------------------------

struct HandBlock {
  char name[64] = {};
  HANDLE mapping = nullptr;
  uint8_t* view = nullptr;
  uint32_t size = 0;
  ATOM atom = 0;
  uint32_t used = 0;  // where the next request goes
};

inline bool OpenHandBlock(HandBlock* block, const char* name, uint32_t size = 0x8000) {
  std::snprintf(block->name, sizeof block->name, "%s", name);
  block->mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
  if (!block->mapping) return false;
  block->view = static_cast<uint8_t*>(MapViewOfFile(block->mapping, FILE_MAP_WRITE, 0, 0, 0));
  block->atom = GlobalAddAtomA(name);
  block->size = size;
  block->used = 0;
  return block->view && block->atom;
}

inline void CloseHandBlock(HandBlock* block) {
  if (block->atom) GlobalDeleteAtom(block->atom);
  if (block->view) UnmapViewOfFile(block->view);
  if (block->mapping) CloseHandle(block->mapping);
  *block = HandBlock();
}

inline void Put32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, 4); }
inline uint32_t Get32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

// Queues a read; returns its header's position. The data is filled with `fill`.
inline uint32_t PutRead(HandBlock* block, uint32_t offset, uint32_t size, uint32_t destination = 0,
                        uint8_t fill = 0) {
  uint32_t at = block->used;
  Put32(block->view + at, 1);
  Put32(block->view + at + 4, offset);
  Put32(block->view + at + 8, size);
  Put32(block->view + at + 12, destination);
  std::memset(block->view + at + 16, fill, size);
  block->used = at + 16 + size;
  return at;
}

inline uint32_t PutWrite(HandBlock* block, uint32_t offset, uint32_t size, const void* data) {
  uint32_t at = block->used;
  Put32(block->view + at, 2);
  Put32(block->view + at + 4, offset);
  Put32(block->view + at + 8, size);
  std::memcpy(block->view + at + 12, data, size);
  block->used = at + 12 + size;
  return at;
}

// Writes the end of list; returns its position and empties the queue.
inline uint32_t PutEnd(HandBlock* block) {
  uint32_t at = block->used;
  Put32(block->view + at, 0);
  block->used = 0;
  return at;
}

// Sends the batch message with `wParam`; true when answered, with the reply.
inline bool SendBatch(HWND window, WPARAM wParam, DWORD timeoutMs, DWORD_PTR* reply) {
  static UINT message = RegisterWindowMessageA("FsasmLib:IPC");
  *reply = 0xDEADDEAD;
  return SendMessageTimeoutA(window, message, wParam, 0, SMTO_BLOCK, timeoutMs, reply) != 0;
}
