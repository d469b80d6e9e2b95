// Serving one "FsasmLib:IPC" message: the atom names a client's file
// mapping, whose request list is checked, carried out against the data area
// and answered with 1 (or 0 for a batch that cannot be served), with the
// fault in force applied. Window thread only. Windows only.
#pragma once
#include <windows.h>

#include <cstdint>

// Serves the batch named by the message's wParam; returns the reply.
uint32_t ServeBatchMessage(WPARAM wParam);

// The client's block stays mapped while messages keep naming it, so a
// round trip costs no open. It is released when another name arrives, when
// no batch has come for IdleReleaseMs (a client that has gone away keeps
// neither its memory nor its name alive here), and at the end.
constexpr ULONGLONG IdleReleaseMs = 2000;
void ReleaseIdleClientBlock();
void ReleaseClientBlock();
