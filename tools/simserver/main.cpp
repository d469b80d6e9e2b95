// simserver: a stand-in for the simulator's IPC server, for tests and for
// trying the gauge without a simulator.
//
// It owns a top-level window of class "UIPCMAIN" (or "FS98MAIN") that
// answers the registered message "FsasmLib:IPC": the message's atom names a
// client's 32 KiB file mapping holding a list of read and write requests on
// a 64 KiB data area. It presents the handshake at 0x3304 to 0x330B, takes
// commands on standard input (control.h), can play a demo flight
// (demo_flight.h), misbehave on purpose (faults.h) and log every batch
// (batch_log.h).
//
// Threads: the main thread owns the window and serves batches; one thread
// reads standard input; one plays the demo. They share SimServer.
// A console program: run from a terminal it prints its replies there.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "batch_log.h"
#include "control.h"
#include "demo_thread.h"
#include "faults.h"
#include "say.h"
#include "server_state.h"
#include "window_loop.h"

namespace {

struct Options {
  const char* className = "UIPCMAIN";
  uint16_t simulatorId = DefaultSimulatorId;
  bool demo = false;
  FaultSetting fault;
  const char* logPath = nullptr;
  bool hidden = false;
};

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: simserver [--class UIPCMAIN|FS98MAIN] [--simid N] [--demo]\n"
               "                 [--fault <mode> [argument]] [--log <file>] [--hidden]\n"
               "Commands on standard input: set, poke, peek, fault, demo, status, help, quit.\n"
               "Fault modes:\n");
  char faults[2048];
  ListFaults(faults, sizeof faults);
  std::fputs(faults, out);
}

// Returns 0 to run, else the exit code.
int ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    bool hasValue = i + 1 < argc;
    if (std::strcmp(option, "--class") == 0 && hasValue) {
      options->className = argv[++i];
      if (std::strcmp(options->className, "UIPCMAIN") != 0 &&
          std::strcmp(options->className, "FS98MAIN") != 0) {
        std::fprintf(stderr, "simserver: --class takes UIPCMAIN or FS98MAIN\n");
        return 2;
      }
    } else if (std::strcmp(option, "--simid") == 0 && hasValue) {
      char* end = nullptr;
      unsigned long id = std::strtoul(argv[++i], &end, 0);
      if (*end != '\0' || id > 0xFFFF) {
        std::fprintf(stderr, "simserver: --simid takes a number from 0 to 65535\n");
        return 2;
      }
      options->simulatorId = static_cast<uint16_t>(id);
    } else if (std::strcmp(option, "--demo") == 0) {
      options->demo = true;
    } else if (std::strcmp(option, "--fault") == 0 && hasValue) {
      const char* mode = argv[++i];
      const char* argument = nullptr;
      if (FaultTakesArgument(mode) && i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0)
        argument = argv[++i];
      char error[128];
      if (!ParseFault(mode, argument, &options->fault, error, sizeof error)) {
        std::fprintf(stderr, "simserver: %s\n", error);
        return 2;
      }
    } else if (std::strcmp(option, "--log") == 0 && hasValue) {
      options->logPath = argv[++i];
    } else if (std::strcmp(option, "--hidden") == 0) {
      options->hidden = true;
    } else if (std::strcmp(option, "--help") == 0 || std::strcmp(option, "-h") == 0) {
      PrintUsage(stdout);
      return -1;
    } else {
      std::fprintf(stderr, "simserver: unknown or incomplete option '%s'\n", option);
      PrintUsage(stderr);
      return 2;
    }
  }
  return 0;
}

BOOL WINAPI OnConsoleControl(DWORD) {
  RequestQuit();
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int parsed = ParseOptions(argc, argv, &options);
  if (parsed == -1) return 0;
  if (parsed != 0) return parsed;

  InitServerState(options.simulatorId);
  if (options.logPath && !OpenBatchLog(options.logPath)) {
    std::fprintf(stderr, "simserver: cannot write the log '%s'\n", options.logPath);
    return 1;
  }
  SetFault(options.fault);
  if (options.demo) SetDemo(true, 0);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  if (!StartDemoThread()) {
    std::fprintf(stderr, "simserver: cannot start the demo thread\n");
    return 1;
  }
  WindowOptions windowOptions = {options.className, options.hidden};
  if (!OpenServerWindow(windowOptions)) return 1;
  // Commands are read only once "ready" is out, so a script that waits for
  // it knows the window exists before its first command takes effect.
  if (!StartControlThread()) {
    std::fprintf(stderr, "simserver: cannot start the control thread\n");
    return 1;
  }
  RunWindowLoop();

  JoinDemoThread();
  CloseBatchLog();
  std::fflush(stdout);
  return 0;
}
