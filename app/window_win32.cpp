// The gauge window on Win32.
//
// The window procedure only records what happened (moved, close requested)
// in a small queue; the event loop polls that queue once per pass and acts.
// The close box does not destroy the window: the loop's end path does.
//
// Texts are Windows-1252 and are converted explicitly to UTF-16, so the
// title reads "Altimètre" whatever the system's ANSI code page is.
#include "app/window_win32.h"

#include "app/event_loop.h"

const wchar_t GaugeWindowClass[] = L"StandbyAltimeterGauge";

namespace {

constexpr int ClientSize = 420;
constexpr DWORD GaugeWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

// Recorded events, oldest first. Small: the loop drains one every 10 ms and
// repeated moves are merged, so it fills only if closes pile up, and then a
// further event is dropped rather than anything blocking.
int pendingEvents[16];
int pendingCount = 0;

void RecordEvent(int event) {
  if (pendingCount > 0 && pendingEvents[pendingCount - 1] == event && event == EventWindowMoved)
    return;
  if (pendingCount < static_cast<int>(sizeof pendingEvents / sizeof pendingEvents[0]))
    pendingEvents[pendingCount++] = event;
}

LRESULT CALLBACK GaugeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOVE:
      RecordEvent(EventWindowMoved);
      return 0;
    case WM_CLOSE:
      RecordEvent(EventCloseRequested);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// Windows-1252 to UTF-16, into a fixed buffer; our texts are short.
void WidenCp1252(const char* text, wchar_t* out, int outLength) {
  int written = MultiByteToWideChar(1252, 0, text, -1, out, outLength);
  if (written <= 0) out[0] = L'\0';
}

}  // namespace

HWND OpenGaugeWindow(int32_t x, int32_t y, const char* titleCp1252) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = GaugeWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hIconSm = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                 GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = GaugeWindowClass;
  if (!RegisterClassExW(&windowClass)) return nullptr;

  RECT frame = {0, 0, ClientSize, ClientSize};
  AdjustWindowRectEx(&frame, GaugeWindowStyle, FALSE, 0);

  wchar_t title[128];
  WidenCp1252(titleCp1252, title, 128);
  HWND window = CreateWindowExW(0, GaugeWindowClass, title, GaugeWindowStyle, x, y,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, instance, nullptr);
  if (!window) return nullptr;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  return window;
}

void MakeWindowTopmost(HWND window) {
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

int PollWindowEvent() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (pendingCount == 0) return NoEvent;
  int event = pendingEvents[0];
  for (int i = 1; i < pendingCount; ++i) pendingEvents[i - 1] = pendingEvents[i];
  --pendingCount;
  return event;
}

void ReadWindowPosition(HWND window, int32_t* x, int32_t* y) {
  RECT outer;
  if (!GetWindowRect(window, &outer)) return;
  *x = outer.left;
  *y = outer.top;
}

void ShowMessageBox(HWND owner, const char* captionCp1252, const char* textCp1252) {
  wchar_t caption[64];
  wchar_t text[256];
  WidenCp1252(captionCp1252, caption, 64);
  WidenCp1252(textCp1252, text, 256);
  MessageBoxW(owner, text, caption, MB_OK);
}

void CloseGaugeWindow(HWND window) {
  if (window) DestroyWindow(window);
}
