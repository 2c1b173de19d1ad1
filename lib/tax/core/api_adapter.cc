#include "api_adapter.h"

namespace {

int unavailable_open(void) { return 1; }
void unavailable_close(void) {}
bool unavailable_ready(void) { return false; }

const api_adapter* g_adapters[3] = {nullptr, &api_unavailable_adapter, &api_unavailable_adapter};

}  // namespace

// Only open, close and ready are ever called: the dispatcher asks `ready`
// before any request step.
const api_adapter api_unavailable_adapter = {
    "unavailable", unavailable_open, unavailable_close, unavailable_ready, nullptr, nullptr, nullptr, nullptr,
    nullptr,       nullptr,          nullptr,           nullptr,           nullptr, nullptr, nullptr, nullptr,
};

void api_set_adapter(int stype, const api_adapter* adapter) {
  if (stype == 1 || stype == 2) g_adapters[stype] = adapter != nullptr ? adapter : &api_unavailable_adapter;
}

const api_adapter* api_get_adapter(int stype) { return stype == 1 || stype == 2 ? g_adapters[stype] : nullptr; }
