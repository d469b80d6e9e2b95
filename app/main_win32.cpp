// The gauge's entry point: start-up in a fixed order, the event loop with
// its worker supervision and change detection, and the end path.
//
// Three threads run: this one, ConnectWorker and ReadWorker. This thread
// never takes FlightDataLock; it reads FlightData's atomic fields directly.
// The workers are not stopped at exit: they end with the process, which is
// why nothing they use is ever released, but for the IPC link, which the
// end path closes while holding FlightDataLock to the end.
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "app/app_state.h"
#include "app/event_loop.h"
#include "app/settings.h"
#include "app/settings_store.h"
#include "app/threads.h"
#include "app/window_win32.h"
#include "display/gauge_sprites.h"
#include "display/render_gauge.h"
#include "display/surface.h"
#include "display/surface_d3d9.h"
#include "simlink/flight_data.h"
#include "simlink/lock.h"
#include "simlink/pause.h"
#include "simlink/workers.h"

namespace {

// Windows-1252 texts: "Altimètre 737 395px - Ver.", "Erreur",
// "Impossible d'ouvrir un écran dans la fenêtre!".
const char TitlePrefix[] = "Altim\xE8tre 737 395px - Ver.";
const char ErrorCaption[] = "Erreur";
const char SurfaceErrorText[] = "Impossible d'ouvrir un \xE9" "cran dans la fen\xEAtre!";

uint32_t connectThread = 0;
uint32_t readThread = 0;
int lastEvent = NoEvent;
HWND gaugeWindow = nullptr;

void SuperviseReadWorker() {
  bool connected = FlightData.connected.load() != 0;
  switch (DecideSupervision(connected, ThreadRunning(readThread))) {
    case SupervisionStartReader:
      ClearReadWorkerStop();
      readThread = StartThread(ReadWorker, 0, L"ReadWorker");
      break;
    case SupervisionStopReader:
      // Honoured by the worker at its next pause, never while it holds
      // FlightDataLock; the thread is seen as ended in a later pass.
      RequestReadWorkerStop();
      break;
    case SupervisionNone:
      break;
  }
}

void RunEventLoop() {
  for (;;) {
    SuperviseReadWorker();
    lastEvent = PollWindowEvent();
    if (lastEvent == EventWindowMoved) ReadWindowPosition(gaugeWindow, &windowX, &windowY);
    if (FlightDataChanged()) {
      UpdateLastDrawn();
      RenderGauge();
    }
    PauseMs(10);
    if (!HandleEvent(lastEvent)) return;
  }
}

[[noreturn]] void EndProcess(bool saveSettings) {
  if (saveSettings) {
    SaveSettings();
  } else {
    CloseSettingsStore();  // the store LoadSettings left open, unwritten
  }
  // The workers keep running until ExitProcess, but the link is closed
  // first: its global atom lives in the session, not in this process.
  CloseLinkForExit();
  ReleaseThreadRecords();
  CloseDrawingSurface();
  CloseGaugeWindow(gaugeWindow);
  // ExitProcess, not a return from WinMain: the workers still run and use
  // process-wide state, which the C++ runtime's exit handlers must not
  // tear down under them.
  ExitProcess(0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CreateFlightDataLock();
  connectThread = StartThread(ConnectWorker, 0, L"ConnectWorker");
  InitDrawingFacility();
  LoadSettings();

  char title[64];
  std::strcpy(title, TitlePrefix);
  std::strcat(title, AppVersion);
  gaugeWindow = OpenGaugeWindow(windowX, windowY, title);
  if (!gaugeWindow || !OpenDrawingSurface(gaugeWindow)) {
    // Also when the window itself could not be made: without it the gauge
    // could never be closed, so it ends as for a failed surface.
    ShowMessageBox(gaugeWindow, ErrorCaption, SurfaceErrorText);
    EndProcess(false);
  }
  MakeWindowTopmost(gaugeWindow);
  CreateGaugeSprites();
  SetSpriteFiltering(1);
  RenderGauge();

  RunEventLoop();
  EndProcess(true);
}
