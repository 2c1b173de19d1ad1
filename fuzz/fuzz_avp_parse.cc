// Fuzz target: the Taxware request parsers. Any data-message text, in both
// request forms and as an address request, must fill the fixed-layout engine
// records without writing past a field or a record.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "api_msg.h"
#include "avp_adapter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  char text[API_TEXT_SIZE] = {};
  std::memcpy(text, data, size < API_TEXT_SIZE - 1 ? size : API_TEXT_SIZE - 1);
  for (int enhanced = 0; enhanced <= 1; ++enhanced) {
    void* req = avp_adapter.tax_new();
    avp_adapter.tax_parse(req, text, enhanced);
    avp_adapter.tax_free(req);
  }
  void* addr = avp_adapter.addr_new();
  avp_adapter.addr_parse(addr, text);
  avp_adapter.addr_free(addr);
  return 0;
}
