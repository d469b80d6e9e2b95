// The two background threads that keep FlightData filled from the
// simulator's IPC server.
#pragma once

// Opens the link whenever it is down, testing once a second. Never returns.
void ConnectWorker(int unused);

// Polls the five values while the link is up, 1 ms apart. Returns only
// after RequestReadWorkerStop, between two polls, never holding the lock.
void ReadWorker(int unused);

// Main thread: asks the running ReadWorker to end at its next pause.
void RequestReadWorkerStop();
// Main thread: clears the request before a new ReadWorker is started.
void ClearReadWorkerStop();
