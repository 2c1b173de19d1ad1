// taxapi-test: the tax API process with the scriptable test adapter in place
// of both engines, for end-to-end tests and benchmarks of the core.
#include "api_main.h"
#include "test_adapter.h"

int main(int argc, char** argv) {
  test_adapter_register();
  return api_main(argc, argv);
}
