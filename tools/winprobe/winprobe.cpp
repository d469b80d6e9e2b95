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
//   winprobe atoms [<prefix> [delete]] every global atom (whose name starts
//                                     with the prefix; the whole table is
//                                     scanned): one JSON line each, then a
//                                     count line; with "delete", deletes each
//                                     one found
//   winprobe resources <pid>          one JSON line: the process's handles
//                                     (from the system handle table where
//                                     GetProcessHandleCount gives 0, as under
//                                     Wine) in all and per object type; GDI
//                                     and USER objects by GetGuiResources (0
//                                     under Wine), GDI objects from the
//                                     process's GDI handle table, its windows;
//                                     private, committed private and virtual
//                                     bytes, working set, mapped views
//   winprobe threads <pid>            a process's threads, one per line:
//                                     id and name (empty when unnamed)
//   winprobe squat <name> <ms>        creates a 32 KiB paging-file mapping of
//                                     that name, holds it for <ms>, closes it;
//                                     exit code 1 if it existed already
//   winprobe session                  reads commands like the above from
//                                     standard input, one per line, and ends
//                                     each answer with "end <exit code>"
//
// Handles are printed and taken in decimal. Exit code 0 on success.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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

// One row of the system handle table, extended form (information class 64).
struct HandleTableEntry {
  void* object;
  ULONG_PTR processId;
  ULONG_PTR handle;
  ULONG access;
  USHORT creatorBackTraceIndex;
  USHORT typeIndex;
  ULONG attributes;
  ULONG reserved;
};

struct CountedText {  // UNICODE_STRING
  USHORT length;     // bytes
  USHORT maximumLength;
  wchar_t* buffer;
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
using QueryObject = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

template <typename Function>
Function NtFunction(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

// The name of a handle's object type ("Section", "Thread", ...), through a
// duplicate of it in this process; "?" when it cannot be duplicated.
std::string HandleTypeName(HANDLE process, ULONG_PTR value) {
  static QueryObject queryObject = NtFunction<QueryObject>("NtQueryObject");
  HANDLE copy = nullptr;
  if (!queryObject || !DuplicateHandle(process, reinterpret_cast<HANDLE>(value),
                                       GetCurrentProcess(), &copy, 0, FALSE,
                                       DUPLICATE_SAME_ACCESS))
    return "?";
  // OBJECT_TYPE_INFORMATION starts with the type's UNICODE_STRING name.
  alignas(8) unsigned char buffer[1024] = {};
  ULONG needed = 0;
  std::string name = "?";
  if (queryObject(copy, 2, buffer, sizeof buffer, &needed) == 0) {
    const CountedText* typeName = reinterpret_cast<const CountedText*>(buffer);
    wchar_t text[128] = {};
    size_t length = typeName->length / sizeof(wchar_t);
    if (length > 127) length = 127;
    for (size_t i = 0; i < length; ++i) text[i] = typeName->buffer[i];
    name = Utf8(text);
  }
  CloseHandle(copy);
  return name;
}

// A process's handles by object type, from the system-wide handle table.
// Returns false when the table cannot be read.
bool CountHandlesByType(DWORD pid, HANDLE process, unsigned long* total,
                        std::map<std::string, unsigned long>* byType) {
  QuerySystemInformation query = NtFunction<QuerySystemInformation>("NtQuerySystemInformation");
  if (!query) return false;
  std::vector<unsigned char> buffer(1 << 20);
  for (int attempt = 0; attempt < 6; ++attempt) {
    ULONG needed = 0;
    LONG status = query(64, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) return false;
    ULONG_PTR entries = *reinterpret_cast<const ULONG_PTR*>(buffer.data());
    const HandleTableEntry* entry =
        reinterpret_cast<const HandleTableEntry*>(buffer.data() + 2 * sizeof(ULONG_PTR));
    // The type name is looked up once per type index.
    std::map<USHORT, std::string> typeNames;
    *total = 0;
    for (ULONG_PTR i = 0; i < entries; ++i) {
      if (entry[i].processId != pid) continue;
      ++*total;
      auto known = typeNames.find(entry[i].typeIndex);
      if (known == typeNames.end() || known->second == "?")
        typeNames[entry[i].typeIndex] = HandleTypeName(process, entry[i].handle);
      ++(*byType)[typeNames[entry[i].typeIndex]];
    }
    return true;
  }
  return false;
}

struct AddressSpace {
  unsigned long mappedViews = 0;  // views of sections (MEM_MAPPED)
  unsigned long long mappedBytes = 0;
  unsigned long long privateCommitted = 0;  // committed MEM_PRIVATE bytes
};

// Walks a process's address space. Wine reports no PrivateUsage, so the
// committed private regions stand in for it.
AddressSpace WalkAddressSpace(HANDLE process) {
  AddressSpace space;
  MEMORY_BASIC_INFORMATION info = {};
  const unsigned char* address = nullptr;
  void* lastBase = nullptr;
  while (VirtualQueryEx(process, address, &info, sizeof info) == sizeof info) {
    if (info.State != MEM_FREE && info.Type == MEM_MAPPED) {
      if (info.AllocationBase != lastBase) ++space.mappedViews;
      lastBase = info.AllocationBase;
      space.mappedBytes += info.RegionSize;
    }
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) space.privateCommitted += info.RegionSize;
    const unsigned char* next = static_cast<const unsigned char*>(info.BaseAddress) + info.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return space;
}

// GDI objects of a process, from the handle table its PEB points at
// (GdiSharedHandleTable): Wine keeps one such table per process and
// GetGuiResources there answers 0. Entries of 24 bytes, in use while their
// type byte is non-zero. -1 when the table cannot be read.
long CountGdiObjects(HANDLE process, DWORD pid, long* stock) {
  struct BasicInformation {
    LONG exitStatus;
    void* pebBaseAddress;
    ULONG_PTR affinityMask, basePriority, uniqueProcessId, inheritedFromUniqueProcessId;
  } basic = {};
  using QueryProcess = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
  QueryProcess queryProcess = NtFunction<QueryProcess>("NtQueryInformationProcess");
  if (!queryProcess || queryProcess(process, 0, &basic, sizeof basic, nullptr) != 0) return -1;
  constexpr SIZE_T kTableOffsetInPeb = sizeof(void*) == 8 ? 0xF8 : 0x94;
  void* table = nullptr;
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, static_cast<char*>(basic.pebBaseAddress) + kTableOffsetInPeb,
                         &table, sizeof table, &read) || !table)
    return -1;
  struct Entry {
    unsigned long long object;
    ULONG owner;  // low 16 bits: the process id
    USHORT unique;  // bit 7: a stock object
    UCHAR type;
    UCHAR flags;
    unsigned long long userPointer;
  };
  static_assert(sizeof(Entry) == 24, "GDI handle entry layout");
  std::vector<Entry> entries(0x10000);
  if (!ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(Entry), &read))
    return -1;
  long count = 0;
  *stock = 0;
  for (const Entry& entry : entries) {
    if (entry.type == 0) continue;
    if ((entry.owner & 0xFFFF) != (pid & 0xFFFF) && (entry.owner & 0xFFFF) != 0) continue;
    if (entry.unique & 0x80)
      ++*stock;
    else
      ++count;
  }
  return count;
}

struct WindowCount {
  DWORD pid;
  unsigned long count;
};

BOOL CALLBACK CountChildWindow(HWND, LPARAM parameter) {
  ++reinterpret_cast<WindowCount*>(parameter)->count;
  return TRUE;
}

BOOL CALLBACK CountProcessWindow(HWND window, LPARAM parameter) {
  WindowCount* counter = reinterpret_cast<WindowCount*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != counter->pid) return TRUE;
  ++counter->count;
  EnumChildWindows(window, CountChildWindow, parameter);
  return TRUE;
}

// The windows of a process (top-level, their children, message-only), the
// part of its USER objects that can be seen from outside under Wine.
unsigned long CountWindows(DWORD pid) {
  WindowCount counter = {pid, 0};
  EnumWindows(CountProcessWindow, reinterpret_cast<LPARAM>(&counter));
  for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
       window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr))
    CountProcessWindow(window, reinterpret_cast<LPARAM>(&counter));
  return counter.count;
}

int PrintResources(DWORD pid) {
  HANDLE process =
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, pid);
  if (!process) return 1;
  DWORD handleCount = 0;
  GetProcessHandleCount(process, &handleCount);
  unsigned long tableCount = 0;
  std::map<std::string, unsigned long> byType;
  bool tableRead = CountHandlesByType(pid, process, &tableCount, &byType);
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                       sizeof memory);
  // Virtual size: a view that is never unmapped grows it, not the private bytes.
  struct VmCounters {
    SIZE_T peakVirtualSize, virtualSize;
    ULONG pageFaultCount;
    SIZE_T peakWorkingSetSize, workingSetSize, quotaPeakPagedPoolUsage, quotaPagedPoolUsage,
        quotaPeakNonPagedPoolUsage, quotaNonPagedPoolUsage, pagefileUsage, peakPagefileUsage;
  } vm = {};
  using QueryProcess = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
  QueryProcess queryProcess = NtFunction<QueryProcess>("NtQueryInformationProcess");
  if (queryProcess) queryProcess(process, 3, &vm, sizeof vm, nullptr);  // ProcessVmCounters
  AddressSpace space = WalkAddressSpace(process);
  long gdiStock = 0;
  long gdiTable = CountGdiObjects(process, pid, &gdiStock);

  std::string types;
  for (const auto& type : byType) {
    if (!types.empty()) types += ", ";
    types += JsonString(type.first) + ": " + std::to_string(type.second);
  }
  std::printf(
      "{\"handles\": %lu, \"process_handle_count\": %lu, \"handle_table\": %s, "
      "\"handles_by_type\": {%s}, \"gdi\": %lu, \"user\": %lu, \"gdi_table\": %ld, "
      "\"gdi_table_stock\": %ld, \"windows\": %lu, \"private_bytes\": %llu, "
      "\"private_committed\": %llu, \"virtual_bytes\": %llu, \"working_set\": %llu, "
      "\"mapped_views\": %lu, \"mapped_bytes\": %llu}\n",
      handleCount > 0 || !tableRead ? static_cast<unsigned long>(handleCount) : tableCount,
      static_cast<unsigned long>(handleCount), tableRead ? "true" : "false", types.c_str(),
      GetGuiResources(process, GR_GDIOBJECTS), GetGuiResources(process, GR_USEROBJECTS),
      gdiTable, gdiStock, CountWindows(pid),
      static_cast<unsigned long long>(memory.PrivateUsage), space.privateCommitted,
      static_cast<unsigned long long>(vm.virtualSize),
      static_cast<unsigned long long>(memory.WorkingSetSize), space.mappedViews,
      space.mappedBytes);
  CloseHandle(process);
  return 0;
}

// Global atoms are the string atoms 0xC000 to 0xFFFF; there is no call that
// lists them, so every value is asked for its name.
void PrintAtoms(const char* prefix, bool remove) {
  size_t prefixLength = std::strlen(prefix);
  unsigned long found = 0, inUse = 0;
  for (unsigned value = 0xC000; value <= 0xFFFF; ++value) {
    char name[256];
    UINT length = GlobalGetAtomNameA(static_cast<ATOM>(value), name, sizeof name);
    if (length == 0) continue;
    ++inUse;
    if (std::strncmp(name, prefix, prefixLength) != 0) continue;
    ++found;
    std::printf("{\"atom\": %u, \"name\": %s}\n", value, JsonString(name).c_str());
    // An atom added n times needs n deletions; 16 bounds a runaway count.
    char still[256];
    for (int i = 0; remove && i < 16 &&
                    GlobalGetAtomNameA(static_cast<ATOM>(value), still, sizeof still) != 0;
         ++i)
      GlobalDeleteAtom(static_cast<ATOM>(value));
  }
  std::printf("{\"found\": %lu, \"global_atoms_in_use\": %lu}\n", found, inUse);
}

int Squat(const char* name, DWORD milliseconds) {
  SetLastError(0);
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0x8000, name);
  bool existed = mapping != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
  std::printf("{\"name\": %s, \"created\": %s, \"existed\": %s}\n", JsonString(name).c_str(),
              mapping && !existed ? "true" : "false", existed ? "true" : "false");
  std::fflush(stdout);
  if (!mapping) return 1;
  Sleep(milliseconds);
  CloseHandle(mapping);
  return existed ? 1 : 0;
}

int Usage() {
  std::fprintf(stderr, "usage: winprobe windows|move|close|boxes|press-ok|atom|atoms|resources|threads|squat|"
               "session ...\n");
  return 2;
}

int RunCommand(int argc, char** argv) {
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
    return PrintResources(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
  } else if (command == "atoms" && argc == 2) {
    PrintAtoms("", false);
  } else if (command == "atoms" && (argc == 3 || (argc == 4 && std::string(argv[3]) == "delete"))) {
    PrintAtoms(argv[2], argc == 4);
  } else if (command == "squat" && argc == 4) {
    return Squat(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
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

// Many probes in one process: a soak test asks thousands of times, and each
// Wine process start costs about 0.2 s.
int RunSession() {
  char line[1024];
  while (std::fgets(line, sizeof line, stdin)) {
    std::istringstream words(line);
    std::vector<std::string> parts = {"winprobe"};
    for (std::string word; words >> word;) parts.push_back(word);
    if (parts.size() == 1) continue;
    if (parts[1] == "quit") break;
    std::vector<char*> arguments;
    for (std::string& part : parts) arguments.push_back(&part[0]);
    int code = parts[1] == "session" ? 2 : RunCommand(static_cast<int>(arguments.size()),
                                                      arguments.data());
    std::printf("end %d\n", code);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "session") return RunSession();
  return RunCommand(argc, argv);
}
