// taxapi-test: the tax API process with an idle engine in place of both: it
// opens and closes and is never ready, so every action is answered as for an
// engine that is not open. The process's own round trip, without an engine.
#include "api_adapter.h"
#include "api_main.h"

int main(int argc, char** argv) {
  static api_adapter idle = api_unavailable_adapter;
  idle.open = [] { return 0; };
  api_set_adapter(1, &idle);
  api_set_adapter(2, &idle);
  return api_main(argc, argv);
}
