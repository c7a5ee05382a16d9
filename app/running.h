// The run flag shared by the three run commands: 0 while idle, 1 while a run
// is in progress. Only the run commands write it; every scan pass polls it.
#pragma once

#include <cstdint>

extern uint8_t Running;
