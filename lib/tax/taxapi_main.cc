// taxapi: the tax API process. Registers the engine adapters built into this
// executable and hands over to the process's start-up.
#include "api_adapter.h"
#include "api_main.h"

#ifdef TAXAPI_WITH_AVP
#include "avp_adapter.h"
#endif
#ifdef TAXAPI_WITH_VERTEX
#include "vertex_adapter.h"
#endif

int main(int argc, char** argv) {
#ifdef TAXAPI_WITH_AVP
  api_set_adapter(1, &avp_adapter);
#endif
#ifdef TAXAPI_WITH_VERTEX
  api_set_adapter(2, &vertex_adapter);
#endif
  return api_main(argc, argv);
}
