// Fuzz target: the message format. Any received text must decode, split into
// fields and count its delimiters without reading or writing out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "api_msg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // As the process sees it: a NUL-terminated text of at most 1023 characters.
  char text[API_TEXT_SIZE] = {};
  const std::size_t len = size < API_TEXT_SIZE - 1 ? size : API_TEXT_SIZE - 1;
  std::memcpy(text, data, len);

  const MessageHeader header = decode_message(text);
  (void)header;
  (void)count_delimiters(text);
  for (int n = -1; n <= 64; ++n) {
    char small[4] = {};
    char large[API_TEXT_SIZE] = {};
    const int got_small = get_field_of_msg(n, text, small);
    const int got_large = get_field_of_msg(n, text, large);
    // The bounded copy may only differ by the cut.
    if (got_small > 3 || (got_large >= 0 && got_small > got_large)) __builtin_trap();
    if ((got_small < 0) != (got_large < 0)) __builtin_trap();
  }
  return 0;
}
