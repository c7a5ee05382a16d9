// placeholder: being written
#include "carve/extract.h"
int64_t ExtractOgg(Host&, const std::string&, const std::string&) { return 0; }
int64_t ExtractWav(Host&, const std::string&, const std::string&) { return 0; }
