// winprobe: inspects and drives windows for the end-to-end tests.
//
//   winprobe windows <class>          one JSON line per top-level window of
//                                     that class: handle, process id, title
//                                     (UTF-8), outer rect, client origin and
//                                     size, styles, topmost, visible
//   winprobe move <hwnd> <x> <y>      moves the window's outer corner
//   winprobe close <hwnd>             posts WM_CLOSE (the close box)
//   winprobe boxes                    one JSON line per message box
//                                     (#32770): handle, pid, caption, text
//   winprobe press-ok <hwnd>          presses the box's OK button
//   winprobe atom <name>              prints the global atom for a name, 0 if none
//   winprobe resources <pid>          handle count, GDI and USER objects,
//                                     private bytes of a process
//   winprobe threads <pid>            a process's threads, one per line:
//                                     id and name (empty when unnamed)
//
// Handles are printed and taken in decimal. Exit code 0 on success.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  char buffer[1024];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  return n > 0 ? std::string(buffer) : std::string();
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

HWND ParseHandle(const char* text) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(text, nullptr, 10)));
}

std::string WindowText(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return Utf8(text);
}

struct ClassSearch {
  const wchar_t* className;
};

BOOL CALLBACK PrintWindowOfClass(HWND window, LPARAM parameter) {
  const ClassSearch* search = reinterpret_cast<const ClassSearch*>(parameter);
  wchar_t className[256] = {};
  GetClassNameW(window, className, 256);
  if (lstrcmpW(className, search->className) != 0) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  RECT outer = {}, client = {};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  LONG style = GetWindowLongW(window, GWL_STYLE);
  LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
  std::printf(
      "{\"hwnd\": %llu, \"pid\": %lu, \"title\": %s, \"outer\": [%ld, %ld, %ld, %ld], "
      "\"client_origin\": [%ld, %ld], \"client_size\": [%ld, %ld], \"style\": %lu, "
      "\"exstyle\": %lu, \"topmost\": %s, \"visible\": %s, \"iconic\": %s, \"zoomed\": %s}\n",
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)), pid,
      JsonString(WindowText(window)).c_str(), outer.left, outer.top, outer.right, outer.bottom,
      origin.x, origin.y, client.right - client.left, client.bottom - client.top,
      static_cast<unsigned long>(style), static_cast<unsigned long>(exStyle),
      (exStyle & WS_EX_TOPMOST) ? "true" : "false", IsWindowVisible(window) ? "true" : "false",
      IsIconic(window) ? "true" : "false", IsZoomed(window) ? "true" : "false");
  return TRUE;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM parameter) {
  std::string* text = reinterpret_cast<std::string*>(parameter);
  wchar_t className[64] = {};
  GetClassNameW(child, className, 64);
  if (lstrcmpiW(className, L"Static") == 0) {
    std::string piece = WindowText(child);
    if (!piece.empty()) {
      if (!text->empty()) *text += "\n";
      *text += piece;
    }
  }
  return TRUE;
}

BOOL CALLBACK PrintBox(HWND window, LPARAM) {
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (lstrcmpW(className, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  std::string text;
  EnumChildWindows(window, CollectStaticText, reinterpret_cast<LPARAM>(&text));
  std::printf("{\"hwnd\": %llu, \"pid\": %lu, \"caption\": %s, \"text\": %s}\n",
              static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)), pid,
              JsonString(WindowText(window)).c_str(), JsonString(text).c_str());
  return TRUE;
}

std::string ThreadName(DWORD id) {
  using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  auto getDescription = reinterpret_cast<GetDescription>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
  HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id);
  std::string name;
  PWSTR description = nullptr;
  if (thread && getDescription && SUCCEEDED(getDescription(thread, &description)) && description) {
    name = Utf8(description);
    LocalFree(description);
  }
  if (thread) CloseHandle(thread);
  return name;
}

int Usage() {
  std::fprintf(stderr, "usage: winprobe windows|move|close|boxes|press-ok|atom|resources|threads ...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if (command == "windows" && argc == 3) {
    wchar_t className[256];
    MultiByteToWideChar(CP_UTF8, 0, argv[2], -1, className, 256);
    ClassSearch search = {className};
    EnumWindows(PrintWindowOfClass, reinterpret_cast<LPARAM>(&search));
  } else if (command == "move" && argc == 5) {
    if (!SetWindowPos(ParseHandle(argv[2]), nullptr, std::atoi(argv[3]), std::atoi(argv[4]), 0,
                      0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE))
      return 1;
  } else if (command == "close" && argc == 3) {
    if (!PostMessageW(ParseHandle(argv[2]), WM_CLOSE, 0, 0)) return 1;
  } else if (command == "boxes" && argc == 2) {
    EnumWindows(PrintBox, 0);
  } else if (command == "press-ok" && argc == 3) {
    HWND box = ParseHandle(argv[2]);
    HWND ok = GetDlgItem(box, IDOK);
    if (ok) {
      PostMessageW(ok, BM_CLICK, 0, 0);
    } else {
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  } else if (command == "atom" && argc == 3) {
    std::printf("%u\n", static_cast<unsigned>(GlobalFindAtomA(argv[2])));
  } else if (command == "resources" && argc == 3) {
    DWORD pid = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return 1;
    DWORD handles = 0;
    GetProcessHandleCount(process, &handles);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    std::printf("{\"handles\": %lu, \"gdi\": %lu, \"user\": %lu, \"private_bytes\": %llu}\n",
                handles, GetGuiResources(process, GR_GDIOBJECTS),
                GetGuiResources(process, GR_USEROBJECTS),
                static_cast<unsigned long long>(memory.PrivateUsage));
    CloseHandle(process);
  } else if (command == "threads" && argc == 3) {
    DWORD pid = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
      if (entry.th32OwnerProcessID == pid)
        std::printf("%lu %s\n", entry.th32ThreadID, ThreadName(entry.th32ThreadID).c_str());
    CloseHandle(snapshot);
  } else {
    return Usage();
  }
  return 0;
}
