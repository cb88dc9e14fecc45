#include "configswitch.h"

// Placeholder until the configuration windows land.
void openConfigWindow(int) {}
