// The three carvers, for the passes that run them.
#pragma once

#include <memory>

#include "carve/scan_pass.h"

std::unique_ptr<Carver> MakeMp3Carver(Host& host);
std::unique_ptr<Carver> MakeOggCarver(Host& host);
std::unique_ptr<Carver> MakeWavCarver(Host& host);
