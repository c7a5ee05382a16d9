// placeholder: being written
#include "carve/ogg_page.h"
bool DecodeOggPageHeader(const uint8_t*, TFrameInfo&) { return false; }
int64_t MeasureOggStream(File&, TStreamInfo& info) { info = {}; return 0; }
