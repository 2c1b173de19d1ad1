#include "api_main.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api_adapter.h"
#include "api_dispatch.h"
#include "api_log.h"
#include "api_msg.h"
#include "api_result.h"
#include "api_number.h"
#include "api_tarn.h"
#include "version.h"

namespace {

enum class Option { kNone, kUsage, kVersion, kDiagTaxware, kDiagVertex };

Option parse_option(int argc, char** argv) {
  if (argc != 2 || argv[1][0] != '-') return Option::kNone;
  const char* arg = argv[1];
  const int second = std::tolower(static_cast<unsigned char>(arg[1]));
  if (second == 'v') return Option::kVersion;
  if (second == 'd') {
    const int third = std::tolower(static_cast<unsigned char>(arg[2]));
    if (third == 't') return Option::kDiagTaxware;
    if (third == 'v') return Option::kDiagVertex;
  }
  return Option::kUsage;
}

constexpr const char* kInvalidInit = "FATAL ERROR - API process passed invalid init. message";
constexpr const char* kFatalError = "FATAL ERROR - API fatal error occurred for user ";
constexpr const char* kQueuesFailed = "FATAL ERROR - API process failed to open queues.";
constexpr int kNoReply = -1;

// How a failed start ends: before the engine's open the process exits with
// status 1 and leaves the queues as they are; after it, normal termination
// closes the engine and removes them.
enum class StartEnd { kExit, kTerminate };

// A failed start: the error reply (unless kNoReply), the API log entry of the
// calling `line`, the end.
[[noreturn]] void fail_start(int ptype, int stype, int code, const char* text, int line, StartEnd end) {
  if (code != kNoReply) send_error(ptype, stype, code);
  api_log_write(api_settings.username, text, API_SRC, line, api_logs.log_file);
  if (end == StartEnd::kTerminate) terminate_api();
  std::exit(1);
}

// The error reply of an engine that failed to open at start-up, by the
// result of init_apis: 1 could not be opened, 2 variables not set; a wrong
// sub-provider (3) has had its reply from init_apis.
int start_code_of(int opened) {
  return opened == API_OPEN_FAILED        ? API_ERR_START_FAILED
         : opened == API_OPEN_ENV_MISSING ? API_ERR_WRONG_STYPE
                                          : kNoReply;
}

[[noreturn]] void run_diagnostics(void) {
  const int set = init_provider_type(API_PTYPE_TAX, api_settings.diag_mode);
  if (set != 0) {
    std::printf("init_provider_type() failed with error code: %d\n", set);
    std::exit(1);
  }
  const int opened = init_apis(API_PTYPE_TAX);
  if (opened == API_OPEN_DONE) terminate_api();
  static const char* const kTexts[] = {nullptr, "API failed to open", "Env Vars not set", "Wrong provider specified"};
  if (opened >= 1 && opened <= 3) std::printf("init_apis() failed: %s\n", kTexts[opened]);
  std::exit(1);
}

}  // namespace

void api_print_usage(const char* program) {
  const char* name = program != nullptr ? program : "taxapi";
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  std::printf("\nUsage: %s [-u]|[-v]|[-dt]|[-dv]|[inq outq ptype stype]\n\n", name);
  std::printf("     -d: Run in diagnostic mode\n");
  std::printf("\tv: Vertex\n");
  std::printf("        t: Taxware\n");
  std::printf("     -u: Print usage information\n");
  std::printf("     -v: Print release information\n");
  std::printf("    inq: Path of input message queue file\n");
  std::printf("   outq: Path of output message queue file\n");
  std::printf("  ptype: Provider type (1-Tax)\n");
  std::printf("  stype: SubProvider type (1-Taxware; 2-Vertex)\n");
}

int api_main(int argc, char** argv) {
  api_settings.diag_mode = 0;
  switch (parse_option(argc, argv)) {
    case Option::kVersion:
      print_version(1);
      return 0;
    case Option::kUsage:
      api_print_usage(argv[0]);
      return 1;
    case Option::kDiagTaxware:
      api_settings.diag_mode = 1;
      break;
    case Option::kDiagVertex:
      api_settings.diag_mode = 2;
      break;
    case Option::kNone:
      break;
  }

  api_log_open();
  if (api_settings.diag_mode != 0) run_diagnostics();

  if (argc < 2) {
    std::printf("Illegal number of arguments passed to tax api\n");
    // No output queue is open: the reply cannot go anywhere.
    fail_start(0, 0, API_ERR_BAD_INIT, kInvalidInit, __LINE__, StartEnd::kExit);
  }

  std::snprintf(api_queues.nmsq_in, sizeof api_queues.nmsq_in, "%s", argv[1]);
  std::snprintf(api_queues.nmsq_out, sizeof api_queues.nmsq_out, "%s", argc > 2 ? argv[2] : "");
  const int ptype = argc > 3 ? api_decimal(argv[3]) : 0;
  const int stype = argc > 4 ? api_decimal(argv[4]) : 0;
  if (setup_passed_queues(api_queues.nmsq_in, api_queues.nmsq_out) != 0) {
    fail_start(ptype, stype, API_ERR_QUEUES, kQueuesFailed, __LINE__, StartEnd::kExit);
  }
  if (argc < 5) fail_start(0, 0, API_ERR_BAD_INIT, kFatalError, __LINE__, StartEnd::kExit);
  if (init_provider_type(ptype, stype) != 0) {
    fail_start(ptype, stype, API_ERR_BAD_INIT, kInvalidInit, __LINE__, StartEnd::kExit);
  }
  const int opened = init_apis(ptype);
  if (opened != API_OPEN_DONE) {
    fail_start(ptype, stype, start_code_of(opened), kFatalError, __LINE__, StartEnd::kTerminate);
  }
  send_ack(ptype, stype);

  api_setup.mode = 1;
  while (api_setup.mode == 1) {
    if (process_input() != API_GO_ON) api_setup.mode = 2;
  }
  terminate_api();
}
