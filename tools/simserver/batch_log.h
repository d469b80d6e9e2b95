// The log of served batches (--log <file>): one line per message, flushed
// at once, so a test can read exactly what a client laid out in its block.
//
//   <name> | R <offset> <size> @<pos> dest <destination> | W <offset> <size> @<pos> <data> | end @<pos> | reply <n>[ | fault <mode>]
//   <name> | R ... | bad @<pos> <reason> | reply 0
//
// <name> is the atom's name (or "atom <hex>" when it has none), offsets,
// destinations and data bytes are upper-case hexadecimal (offsets 4 digits,
// destinations 8), sizes and positions decimal. The requests are those the
// client sent, before any fault altered the block.
// Window thread only, after OpenBatchLog on the main thread.
#pragma once
#include "batch.h"

// Creates (or empties) the log file. False when it cannot be opened.
bool OpenBatchLog(const char* path);
void CloseBatchLog();

void LogBatch(const char* name, const uint8_t* block, const BatchCheck& check, uint32_t reply,
              const char* faultText);
// A message refused before any list was read (bad atom, no mapping).
void LogRefusal(const char* name, const char* problem);
