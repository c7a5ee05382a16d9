// Following the logical streams of an Ogg run by their serial numbers: the
// pages of a group of multiplexed streams (Theora video with Vorbis audio)
// from its first pages (BOS) to the last page (EOS) of the stream that ends
// last, every page checked by its CRC-32.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "carve/formats/ogg/ogg_codec.h"
#include "carve/formats/ogg/ogg_crc.h"

class InputView;

// The start of the first packet of the page `page` begins with, as far as
// `page` holds it; `page` holds at least the header and its segment table.
std::span<const uint8_t> OggFirstPacket(std::span<const uint8_t> page);

// One logical stream of a run.
struct OggLogicalStream {
  uint32_t serial = 0;
  OggCodecInfo codec;        // from its first page; Unknown when the run began later
  int64_t lastGranule = -1;  // of its last page that ends a packet
  bool ended = false;        // its last page (EOS) is in the run
};

// A run of pages that belong together.
struct OggGroup {
  int64_t pages = 0;
  int64_t length = 0;                     // bytes, from the first page to the end of the last
  bool begins = false;                    // the run begins with the first page of its streams
  std::vector<OggLogicalStream> streams;  // in the order of their first pages

  // Every stream begins and ends within the run.
  bool complete() const;
  // The run's length: that of the stream that lasts longest.
  double seconds() const;
};

// Follows the pages at `start` whose CRCs match: a group begins with the
// first pages (BOS) of its streams and takes only pages of those streams,
// and ends with the page after which each of them has had its last page (so
// a chained file, one group after another, gives one group at a time). A run
// that begins with no first page takes pages of any stream up to one that
// begins a stream or ends the last stream it has seen. A page that fails
// its CRC, runs past the input or breaks these rules ends the run before it.
// `crcs` keeps the CRCs of the bytes from one probe to the next.
OggGroup FollowOggGroup(InputView& input, int64_t start, OggCrcCache& crcs);
