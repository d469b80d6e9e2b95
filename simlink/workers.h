// The two background threads that keep FlightData filled from the
// simulator's IPC server, and the single steps they repeat.
#pragma once
#include <cstdint>

// Receives the result code of every IPC call the workers make. Nothing
// reads it; the workers decide by the calls' true/false results.
extern int32_t LastIpcResult;

// Opens the link whenever it is down, testing once a second. Never returns.
void ConnectWorker(int unused);

// Polls the five values while the link is up, 1 ms apart. Returns only
// after RequestReadWorkerStop, between two polls, never holding the lock.
void ReadWorker(int unused);

// Main thread: asks the running ReadWorker to end at its next pause.
void RequestReadWorkerStop();
// Main thread: clears the request before a new ReadWorker is started.
void ClearReadWorkerStop();

// One connection attempt under FlightDataLock: IpcOpen while `connected`
// is 0. Worker (ConnectWorker); tests.
void ConnectOnce();

// One poll under FlightDataLock: the five reads in one exchange, published
// to FlightData; after a failed exchange the link is closed and `connected`
// cleared. Worker (ReadWorker); tests.
void PollOnce();

// Main thread, end path: closes the link if FlightDataLock comes free within
// a few tries (about 50 ms), and then keeps the lock, so that no worker
// touches the IPC client again before the process ends. The link's global
// atom would otherwise outlive the process. Returns whether it got the lock.
bool CloseLinkForExit();
