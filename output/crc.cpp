// CRC-32 of buffers and of whole files, and the text of a list of checksums.
#include "output/crc.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "platform/input_file.h"
#include "platform/translate.h"

namespace {

// Progress is counted in 512-byte blocks, however large the reads are.
constexpr int64_t kBlockSize = 512;
constexpr int64_t kChunkSize = 128 * kBlockSize;

std::string ProgressText(double tenths) {
  char percent[32];
  std::snprintf(percent, sizeof percent, "%5.1f", tenths / 10);
  //: %1 the share of the file read, in percent ("  5.0").
  return Tr("crc", "CRCの計算中...(%1%)").arg(percent).shown();
}

}  // namespace

uint32_t UpdateCrc(uint32_t crc, const void* block, int64_t count) {
  const auto* bytes = static_cast<const Bytef*>(block);
  uLong r = crc;
  while (count > 0) {
    uInt n = static_cast<uInt>(std::min<int64_t>(count, UINT_MAX));
    r = crc32(r, bytes, n);
    bytes += n;
    count -= n;
  }
  return static_cast<uint32_t>(r);
}

uint32_t CalcFileCrc(InputFile& file, const std::function<void(const std::string&)>& showProgress,
                     const std::function<void()>& pump) {
  file.seek(0);
  showProgress(ProgressText(0));
  std::vector<unsigned char> chunk(kChunkSize);
  uint32_t crc = 0;
  int64_t blocksBefore = 0;  // 512-byte blocks read before the current chunk
  double shown = 0;          // the largest value shown, in tenths of a percent
  while (!file.eof()) {
    int64_t n = file.read(chunk.data(), kChunkSize);
    if (n <= 0) break;  // the file shrank under us: nothing more to read
    crc = UpdateCrc(crc, chunk.data(), n);
    pump();
    int64_t size = file.size();
    // The chunk's last block stands for all of its blocks: the value shown
    // while it is processed is the largest any of them would show.
    int64_t lastBlock = blocksBefore + (n + kBlockSize - 1) / kBlockSize - 1;
    if (size > 0) {
      double p = std::nearbyint(static_cast<double>(lastBlock) / static_cast<double>(size) *
                                (kBlockSize * 1000));
      if (p > shown) {
        shown = p;
        showProgress(ProgressText(p));
      }
    }
    blocksBefore = lastBlock + 1;
  }
  return crc;
}

std::string CrcListText(const std::vector<uint32_t>& values) {
  std::string text;
  for (uint32_t value : values) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(value));
    if (!text.empty()) text += ", ";
    text += hex;
  }
  return text;
}
