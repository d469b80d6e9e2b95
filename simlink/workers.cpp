// Placeholder workers until the IPC client lands: never connect.
#include "simlink/workers.h"

#include <atomic>

#include "simlink/pause.h"

static std::atomic<bool> readWorkerStop{false};

void ConnectWorker(int) {
  for (;;) PauseMs(1000);
}

void ReadWorker(int) {
  while (!readWorkerStop.load()) PauseMs(1);
}

void RequestReadWorkerStop() { readWorkerStop = true; }
void ClearReadWorkerStop() { readWorkerStop = false; }
