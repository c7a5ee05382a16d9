// placeholder: being written
#include "carve/mpeg_header.h"
int32_t MpegBitrate(int32_t, int32_t, int32_t) { return 0; }
int32_t MpegSampleRate(int32_t, int32_t) { return 0; }
bool DecodeMpegHeader(const uint8_t*, TFrameInfo&) { return false; }
