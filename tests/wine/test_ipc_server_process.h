// The stand-in server (simserver.exe, beside the running exe) as a child
// process for the IPC client's Windows tests and benchmark: started with a
// pipe on its standard input for control lines, bounded in time, always
// stopped ("quit", then TerminateProcess), and tied to a job object so that
// it ends with its parent if the parent dies first. Its output is appended
// to <exe dir>/<tag>-server.txt and its batch log, when asked for, is
// <exe dir>/<tag>-batches.txt.
#pragma once
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

inline std::wstring ExeDirectory() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring directory(path, length);
  return directory.substr(0, directory.find_last_of(L"\\/") + 1);
}

inline std::string Narrow(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
  return narrow;
}

inline bool ServerWindowExists() {
  return FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr) != nullptr ||
         FindWindowExA(nullptr, nullptr, "FS98MAIN", nullptr) != nullptr;
}

// Waits up to `ms` for `condition`, looking every 10 ms.
template <typename Condition>
bool WaitFor(DWORD ms, Condition condition) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start > ms) return false;
    Sleep(10);
  }
}

class ServerProcess {
 public:
  // Starts simserver.exe with `arguments` (and its batch log unless
  // `batchLog` is false) and waits up to 10 s for its window. Running()
  // tells whether that worked; the reason is printed.
  ServerProcess(const char* tag, const std::string& arguments, bool batchLog = true) {
    std::wstring directory = ExeDirectory();
    std::wstring wideTag(tag, tag + std::strlen(tag));
    batchLog_ = Narrow(directory + wideTag + L"-batches.txt");
    if (ServerWindowExists()) {
      std::printf("  a server window exists already; an earlier server did not end\n");
      return;
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    if (!CreatePipe(&readEnd, &input_, &inherit, 0)) return;
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    HANDLE output = CreateFileW((directory + wideTag + L"-server.txt").c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);

    std::wstring exe = directory + L"simserver.exe";
    std::wstring wideArguments(arguments.begin(), arguments.end());
    std::wstring commandLine = L"\"" + exe + L"\" ";
    if (batchLog) commandLine += L"--log \"" + directory + wideTag + L"-batches.txt\" ";
    commandLine += wideArguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                  CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
    CloseHandle(readEnd);
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    if (!started) {
      std::printf("  cannot start %s (error %lu)\n", Narrow(exe).c_str(), GetLastError());
      return;
    }
    process_ = process.hProcess;
    job_ = CreateJobObjectW(nullptr, nullptr);
    if (job_ != nullptr) {
      JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
      limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
      SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
      AssignProcessToJobObject(job_, process_);
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);

    WaitFor(10000, [this] {
      return ServerWindowExists() || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
    });
    if (!ServerWindowExists()) {
      std::printf("  the server showed no window\n");
      Stop();
    }
  }

  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  ~ServerProcess() { Stop(); }

  bool Running() const { return process_ != nullptr; }

  // One control line, e.g. "fault badreply"; the server carries it out on
  // another thread, so its effect follows shortly, not at once.
  void Send(const std::string& line) {
    if (input_ == nullptr) return;
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }

  // The lines of the batch log so far (one per message the server took).
  std::vector<std::string> BatchLogLines() const {
    std::vector<std::string> lines;
    FILE* file = std::fopen(batchLog_.c_str(), "r");
    if (file == nullptr) return lines;
    char line[8192];
    while (std::fgets(line, sizeof line, file)) lines.push_back(line);
    std::fclose(file);
    return lines;
  }

  void Stop() {
    if (process_ != nullptr) {
      Send("quit");
      if (WaitForSingleObject(process_, 3000) != WAIT_OBJECT_0) {
        std::printf("  the server did not quit; terminating it\n");
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 3000);
      }
      CloseHandle(process_);
      process_ = nullptr;
    }
    if (input_ != nullptr) CloseHandle(input_);
    input_ = nullptr;
    if (job_ != nullptr) CloseHandle(job_);
    job_ = nullptr;
    WaitFor(3000, [] { return !ServerWindowExists(); });
  }

 private:
  HANDLE process_ = nullptr;
  HANDLE input_ = nullptr;
  HANDLE job_ = nullptr;
  std::string batchLog_;
};
