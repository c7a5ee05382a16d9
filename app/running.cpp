#include "app/running.h"

uint8_t Running = 0;
