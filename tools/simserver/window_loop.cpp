// The server window and the window thread's loop (see window_loop.h).
//
// The loop waits for either a message or SimServer.wake, so a fault set from
// the control thread takes effect at once even while no client sends
// anything. A client's message is a cross-process sent message: it is
// dispatched inside PeekMessage, and while this thread does not pump (the
// noanswer fault) the client's send simply times out.
// Window thread only. Windows only.
#include "window_loop.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "say.h"
#include "serve.h"
#include "server_state.h"

namespace {

constexpr UINT_PTR StatusTimer = 1;
constexpr UINT StatusPeriodMs = 250;

wchar_t windowClass[32];
UINT batchMessage = 0;
HWND window = nullptr;
bool windowHidden = false;

unsigned long long HandleNumber(HWND handle) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle));
}

void PaintStatus(HWND target) {
  int32_t altitude = static_cast<int32_t>(LoadValue(AltitudeOffset, 4));
  uint32_t baro = LoadValue(BaroOffset, 2);
  int32_t ias = static_cast<int32_t>(LoadValue(IasOffset, 4));
  uint32_t lights = LoadValue(LightsOffset, 2);
  int switchValue = static_cast<int8_t>(LoadValue(SwitchOffset, 1));
  FaultSetting fault = CurrentFault();
  char faultText[64];
  DescribeFault(fault, faultText, sizeof faultText);
  LockServer();
  bool demo = SimServer.demo;
  UnlockServer();

  char text[512];
  std::snprintf(text, sizeof text,
                "Altitude  %ld ft\nPressure  %lu (%.2f hPa)\nAirspeed  %ld (%.1f kt)\n"
                "Lights  %lu    Switch  %d\nDemo  %s    Fault  %s\nBatches  %lu    Refused  %lu",
                static_cast<long>(altitude), static_cast<unsigned long>(baro), baro / 16.0,
                static_cast<long>(ias), ias / 128.0, static_cast<unsigned long>(lights),
                switchValue, demo ? "on" : "off", faultText,
                static_cast<unsigned long>(SimServer.batches.load()),
                static_cast<unsigned long>(SimServer.badBatches.load()));

  PAINTSTRUCT paint;
  HDC dc = BeginPaint(target, &paint);
  RECT area;
  GetClientRect(target, &area);
  InflateRect(&area, -8, -6);
  SetBkMode(dc, TRANSPARENT);
  DrawTextA(dc, text, -1, &area, DT_LEFT | DT_TOP | DT_NOPREFIX);
  EndPaint(target, &paint);
}

LRESULT CALLBACK ServerWindowProc(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
  if (batchMessage != 0 && message == batchMessage)
    return static_cast<LRESULT>(ServeBatchMessage(wParam));
  switch (message) {
    case WM_TIMER:
      ReleaseIdleClientBlock();
      if (!windowHidden) InvalidateRect(target, nullptr, TRUE);
      return 0;
    case WM_PAINT:
      PaintStatus(target);
      return 0;
    case WM_CLOSE:
      // The close box ends the server; the loop destroys the window.
      RequestQuit();
      return 0;
    default:
      return DefWindowProcW(target, message, wParam, lParam);
  }
}

bool CreateServerWindow() {
  window = CreateWindowExW(0, windowClass, L"Stand-in simulator server",
                           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                           CW_USEDEFAULT, CW_USEDEFAULT, 320, 170, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  if (!window) return false;
  SetTimer(window, StatusTimer, StatusPeriodMs, nullptr);
  if (!windowHidden) ShowWindow(window, SW_SHOWNOACTIVATE);
  SimServer.window.store(reinterpret_cast<uintptr_t>(window));
  return true;
}

void DestroyServerWindow() {
  if (!window) return;
  KillTimer(window, StatusTimer);
  DestroyWindow(window);
  window = nullptr;
  SimServer.window.store(0);
}

// Brings the window in line with the fault in force. False on quit.
bool ApplyWindowFaults() {
  for (;;) {
    if (QuitRequested()) return false;
    FaultSetting fault = CurrentFault();
    if (fault.mode == FaultMode::Vanish && window) {
      DestroyServerWindow();
      // Nobody can reach a vanished server; a client's block is let go.
      ReleaseClientBlock();
      Say("window 0");
    } else if (fault.mode != FaultMode::Vanish && !window) {
      if (CreateServerWindow())
        Say("window %llu", HandleNumber(window));
      else
        Say("error cannot create the window (%lu)", GetLastError());
    }
    if (fault.mode != FaultMode::NoAnswer) return true;
    WaitWhileNotAnswering();
  }
}

}  // namespace

void WaitWhileNotAnswering() {
  while (!QuitRequested() && CurrentFault().mode == FaultMode::NoAnswer)
    WaitForSingleObject(SimServer.wake, INFINITE);
}

bool OpenServerWindow(const WindowOptions& options) {
  MultiByteToWideChar(CP_ACP, 0, options.className, -1, windowClass,
                      sizeof windowClass / sizeof windowClass[0]);
  windowHidden = options.hidden;

  WNDCLASSEXW classInfo = {};
  classInfo.cbSize = sizeof classInfo;
  classInfo.style = CS_HREDRAW | CS_VREDRAW;
  classInfo.lpfnWndProc = ServerWindowProc;
  classInfo.hInstance = GetModuleHandleW(nullptr);
  classInfo.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  classInfo.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  classInfo.lpszClassName = windowClass;
  if (!RegisterClassExW(&classInfo)) {
    Say("error cannot register the window class (%lu)", GetLastError());
    return false;
  }
  batchMessage = RegisterWindowMessageA("FsasmLib:IPC");
  if (batchMessage == 0) {
    Say("error cannot register the message (%lu)", GetLastError());
    return false;
  }
  if (FindWindowExA(nullptr, nullptr, options.className, nullptr))
    Say("warning another %s window exists: a client may find that one", options.className);

  if (CurrentFault().mode != FaultMode::Vanish && !CreateServerWindow()) {
    Say("error cannot create the window (%lu)", GetLastError());
    return false;
  }
  Say("ready class=%s hwnd=%llu pid=%lu", options.className, HandleNumber(window),
      GetCurrentProcessId());
  return true;
}

void RunWindowLoop() {
  while (ApplyWindowFaults()) {
    MsgWaitForMultipleObjects(1, &SimServer.wake, FALSE, INFINITE, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  DestroyServerWindow();
  ReleaseClientBlock();
}
