// The line-based control on standard input: one command per line, one reply
// line ("ok ..." or "error ...") per command on standard output.
//
//   set alt|baro|lights|switch|ias <value>    a named value of the data area
//   set simid|version <value>                 what the handshake presents
//   poke <offset-hex> <1|2|4> <value>         any value of the data area
//   peek <offset-hex> <1|2|4>                 "ok <offset> <size> = <unsigned> (0x<hex>)"
//   fault <mode> [argument]                   see faults.cpp; "fault none" ends it
//   demo on|off                               play the demo flight (from its start)
//   demo at <seconds>                         play it from that time
//   status                                    one line of key=value pairs
//   help, quit
//
// Values are decimal or 0x-hexadecimal, negative allowed, within the size.
// Windows only.
#pragma once

// Carries out one command line and prints its reply. Any thread; the
// control thread in practice.
void HandleCommand(const char* line);

// Main thread, once: starts the thread that reads standard input. At the
// end of input the thread ends and the server keeps running (so it can be
// started with no input at all).
bool StartControlThread();
