#include "carve/scan_pass.h"
#include "platform/input_file.h"
#include "platform/output_file.h"

void CopyRange(InputFile& input, int64_t start, int64_t length, OutputFile& output) {
  // The input is left past the copied range, or at its end when it ends
  // first, exactly where a walk of 512-byte blocks would leave it.
  input.seek(start);
  if (length > 0) input.copyTo(output, length);
}
