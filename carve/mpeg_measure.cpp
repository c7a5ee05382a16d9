// placeholder: being written
#include "carve/mpeg_measure.h"
int64_t MeasureMp3Stream(Host&, File&, TStreamInfo& info, int64_t) { info = {}; return 0; }
