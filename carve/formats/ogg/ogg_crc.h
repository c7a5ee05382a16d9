// The CRC-32 of Ogg pages: polynomial 0x04C11DB7, not reflected, no initial
// or final inversion, over the page with its checksum field taken as zero.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

class InputView;

// The CRC of the page `page`.
uint32_t OggPageCrc(std::span<const uint8_t> page);

// The CRCs of the pages a pass checks, from the CRCs of the input's bytes
// from one origin on: each byte is run through the CRC at most twice however many
// candidate pages overlap it (a page header every few hundred bytes each
// claiming 64 KiB costs no more than two pages). The CRC is kept at every
// 64th byte from the origin, made when a page overlaps an earlier one, and
// run on from there to a page's ends.
class OggCrcCache {
 public:
  // The CRC of the page of `length` bytes at `pos`, whose checksum field
  // holds `field`; false when the input ends before the page does.
  bool pageCrc(InputView& input, int64_t pos, int64_t length, const uint8_t field[4],
               uint32_t& crc);

 private:
  // The CRC of the bytes from origin_ to `at` (a mark or past the last
  // one); false when the input ends before `at`.
  bool crcTo(InputView& input, int64_t at, uint32_t& crc);

  int64_t origin_ = 0;
  int64_t reach_ = 0;                  // the end of the pages checked from origin_ on
  std::vector<uint32_t> marks_ = {0};  // [i]: the CRC of the 64·i bytes from origin_
};
