// CRC-32 of buffers and of whole files, and the text of a list of checksums.
#include "output/crc.h"

#include <libdeflate.h>

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
constexpr int64_t kChunksPerRead = 32;

std::string ProgressText(double tenths) {
  char percent[32];
  std::snprintf(percent, sizeof percent, "%5.1f", tenths / 10);
  //: %1 the share of the file read, in percent ("  5.0").
  return Tr("crc", "CRCの計算中...(%1%)").arg(percent).shown();
}

}  // namespace

// libdeflate's CRC-32 folds the bytes with carry-less multiplications
// (PCLMULQDQ, VPCLMULQDQ) where the processor has them: several times zlib's
// speed, well past what a disk gives.
uint32_t UpdateCrc(uint32_t crc, const void* block, int64_t count) {
  const auto* bytes = static_cast<const unsigned char*>(block);
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(count, INT32_MAX));
    crc = libdeflate_crc32(crc, bytes, n);
    bytes += n;
    count -= n;
  }
  return crc;
}

uint32_t CalcFileCrc(InputFile& file, const std::function<void(const std::string&)>& showProgress,
                     const std::function<void()>& pump) {
  file.seek(0);
  showProgress(ProgressText(0));
  // Read in large pieces (few system calls), shown in chunks as before.
  std::vector<unsigned char> piece(kChunkSize * kChunksPerRead);
  uint32_t crc = 0;
  int64_t blocksBefore = 0;  // 512-byte blocks read before the current chunk
  double shown = 0;          // the largest value shown, in tenths of a percent
  while (!file.eof()) {
    const int64_t got = file.read(piece.data(), std::ssize(piece));
    if (got <= 0) break;  // the file shrank under us: nothing more to read
    const int64_t size = file.size();
    for (int64_t at = 0; at < got; at += kChunkSize) {
      const int64_t n = std::min(kChunkSize, got - at);
      crc = UpdateCrc(crc, piece.data() + at, n);
      pump();
      // The chunk's last block stands for all of its blocks: the value shown
      // while it is processed is the largest any of them would show.
      const int64_t lastBlock = blocksBefore + (n + kBlockSize - 1) / kBlockSize - 1;
      if (size > 0) {
        const double p = std::nearbyint(static_cast<double>(lastBlock) / static_cast<double>(size) *
                                        (kBlockSize * 1000));
        if (p > shown) {
          shown = p;
          showProgress(ProgressText(p));
        }
      }
      blocksBefore = lastBlock + 1;
    }
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
