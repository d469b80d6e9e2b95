// PauseMs for host tests.
#include <chrono>
#include <thread>

#include "simlink/pause.h"

void PauseMs(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
