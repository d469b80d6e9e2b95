// The gauge application's own process-wide state.
#include "app/app_state.h"

const char AppVersion[] = "1.00";
int32_t windowX = 0;
int32_t windowY = 0;
