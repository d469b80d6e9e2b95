// Printing reply lines (see say.h). The C runtime locks the stream for each
// call, so lines from different threads do not mix.
#include "say.h"

#include <cstdarg>
#include <cstdio>

void Say(const char* format, ...) {
  char line[1024];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  std::fprintf(stdout, "%s\n", line);
  std::fflush(stdout);
}
