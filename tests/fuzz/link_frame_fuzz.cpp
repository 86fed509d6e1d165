// Fuzz target: any bytes arriving on a connection to a window of the POSIX
// desktop link, split into pieces in any way. The first input byte chooses
// how the rest is cut; the rest goes through the header decoding and the
// receiving side's framing as it would arrive from a peer. Nothing may crash,
// read or take more than the request announces, or hold memory that the
// arrived bytes do not justify.
#include "platform/posix/link_wire.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

namespace posix = platform::posix;

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// A decoded header encodes back to the same bytes (the reserved field aside).
void CheckHeaderRoundTrip(const std::uint8_t *data, std::size_t size) {
  if (size < posix::kHeaderSize) {
    return;
  }
  std::array<unsigned char, posix::kHeaderSize> bytes{};
  std::memcpy(bytes.data(), data, bytes.size());
  posix::MessageHeader header;
  if (posix::DecodeHeader(bytes, header)) {
    const auto encoded = posix::EncodeHeader(header);
    Check(std::memcmp(encoded.data(), bytes.data(), posix::kHeaderSize - 4) == 0);
    Check(header.size <= posix::kMaxBytes);
  }
}

// The size of the next piece: 1 to 64 bytes, or everything that is left.
std::size_t NextPiece(std::uint32_t &state, std::size_t left) {
  state = state * 1103515245u + 12345u;
  const std::size_t choice = (state >> 16) % 65;
  return choice == 0 ? left : std::min<std::size_t>(choice, left);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  std::uint32_t state = data[0];
  ++data;
  --size;
  CheckHeaderRoundTrip(data, size);

  posix::RequestAssembler request;
  std::size_t taken = 0;
  while (taken < size) {
    const std::size_t piece = NextPiece(state, size - taken);
    const std::size_t took = request.Feed(data + taken, piece);
    Check(took <= piece);
    taken += took;
    Check(request.Capacity() <= 2 * (request.DataSize() + posix::RequestAssembler::kChunk));
    if (took < piece) {
      break; // the request has ended; the rest belongs to nobody
    }
  }
  if (request.Complete()) {
    const posix::MessageHeader &header = request.Header();
    const std::size_t announced = (header.flags & posix::kHasBytes) != 0 ? header.size : 0;
    Check(request.DataSize() == announced);
    Check(taken == posix::kHeaderSize + announced);
    Check(announced == 0 || std::memcmp(request.Data(), data + posix::kHeaderSize, announced) == 0);
  } else if (!request.Refused()) {
    Check(taken == size); // waiting for more
  } else {
    Check(taken == posix::kHeaderSize);
  }
  return 0;
}
