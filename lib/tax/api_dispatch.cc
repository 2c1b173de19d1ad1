#include "api_dispatch.h"

#include <sys/msg.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "api_adapter.h"
#include "api_log.h"
#include "api_msg.h"
#include "api_signal.h"
#include "api_tarn.h"

ApiSetup api_setup;

namespace {

constexpr int kTax = 1;
constexpr int kAddress = 2;
constexpr int kEnhancedAbove = 48;  // delimiters of the standard request form at most
constexpr int kDrainMs = 2000;  // how long termination leaves a last reply to be read

void log_api(const char* text, int line) { api_log_write(api_settings.username, text, API_SRC, line, api_logs.log_file); }

// A request for sub-provider `stype`: action 1 tax, 2 address.
int process_engine_request(int stype, int action) {
  const api_adapter* adapter = api_get_adapter(stype);
  if (adapter == nullptr || adapter->ready() == 0) return send_error(kTax, stype, API_ENGINE_NOT_OPEN_CODE);

  const char* text = api_queues.msgin_raw.mtext;
  double code = 0;
  int result = 0;
  if (action == kTax) {
    const int enhanced = count_delimiters(text) > kEnhancedAbove ? 1 : 0;
    void* req = adapter->tax_new();
    if (req == nullptr) return send_error(kTax, stype, API_ENGINE_NOT_OPEN_CODE);
    adapter->tax_parse(req, text, enhanced);
    const int r = adapter->tax_determine(req, enhanced);
    if (adapter->tax_error_code(req, r, &code) != 0) {
      result = send_error(kTax, stype, code);
    } else {
      std::memset(api_queues.msgout_raw.mtext, 0, API_TEXT_SIZE);
      result = adapter->tax_send(req, enhanced, api_queues.msgout_raw.mtext);
    }
    adapter->tax_free(req);
    return result;
  }
  void* req = adapter->addr_new();
  if (req == nullptr) return send_error(kTax, stype, API_ENGINE_NOT_OPEN_CODE);
  adapter->addr_parse(req, text);
  const int r = adapter->addr_determine(req);
  if (adapter->addr_error_code(req, r, &code) != 0) {
    result = send_error(kTax, stype, code);
  } else {
    std::memset(api_queues.msgout_raw.mtext, 0, API_TEXT_SIZE);
    result = adapter->addr_send(req, api_queues.msgout_raw.mtext);
  }
  adapter->addr_free(req);
  return result;
}

// The data message that must follow an acknowledged action message.
int process_action_sequence(int stype) {
  if (api_queues.msgin.count < 1) return send_error(kTax, stype, 15);
  const int received = get_next_message();
  if (received != 0 && api_queues.msgin.ptype == kTax) {
    // A cut data message could read as another request with fields lost.
    if (api_queues.msgin_cut != 0 || api_queues.msgin.stype != stype || api_queues.msgin.type != API_MSG_DATA) return send_error(kTax, stype, 15);
    if (api_queues.msgin.action == kTax) return stype == 1 ? process_avp_tax() : process_vertex_tax();
    if (api_queues.msgin.action == kAddress) return stype == 1 ? process_avp_addr() : process_vertex_addr();
    return send_error(kTax, stype, 15);
  }
  if (api_queues.msgin.ptype == 0 && api_queues.msgin.stype == 0) return 1;  // nothing came: end the loop
  return send_error(kTax, stype, 15);
}

}  // namespace

int process_input(void) {
  if (get_next_message() == 0) {
    if (api_signal_caught() == 0) {
      log_api("FATAL ERROR - API queue closed, send failed ", __LINE__);
      log_api("FATAL ERROR - API fatal error occurred for user ", __LINE__);
    }
    return 1;
  }
  switch (static_cast<unsigned>(api_queues.msgin.type)) {
    case API_MSG_INIT:
      return process_init_message();
    case API_MSG_OPEN:
      return process_open_message();
    case API_MSG_CLOSE:
      return process_close_message();
    case API_MSG_TERMINATE:
      return process_terminate_message();
    case API_MSG_ACTION:
      return process_action_message();
    case API_MSG_DATA:
      return send_error(api_queues.msgin.ptype, api_queues.msgin.stype, 8);
    default:
      return send_error(api_queues.msgin.ptype, api_queues.msgin.stype, 0);
  }
}

int process_init_message(void) {
  const int ptype = api_queues.msgin.ptype;
  const int stype = api_queues.msgin.stype;
  if (init_provider_type(ptype, stype) != 0) {
    send_error(ptype, stype, 14);
    log_api("FATAL ERROR - API process passed invalid init. message", __LINE__);
    return 1;
  }
  const int opened = init_apis(ptype);
  if (opened != 0) {
    send_error(ptype, stype, opened);
    log_api("FATAL ERROR - API process passed invalid init. message", __LINE__);
    terminate_api();
  }
  return send_ack(ptype, stype) == 0 ? 0 : 1;
}

int process_open_message(void) { return 1; }

int process_close_message(void) { return 1; }

int process_terminate_message(void) {
  log_api("API process received terminate message ", __LINE__);
  terminate_api();
}

int process_action_message(void) {
  if (api_queues.msgin.ptype != kTax) {
    log_api("API process received bad action message ", __LINE__);
    return send_error(api_queues.msgin.ptype, api_queues.msgin.stype, 0);
  }
  if (api_setup.api_tax != 1) return send_error(1, 1, 5);
  return decode_tax_action_message();
}

int decode_tax_action_message(void) {
  const int stype = api_queues.msgin.stype;
  if (stype != 1 && stype != 2) return 1;
  if (api_queues.msgin.action != kTax && api_queues.msgin.action != kAddress) return send_error(kTax, stype, 15);
  send_ack(kTax, stype);
  return stype == 1 ? process_avp_action() : process_vertex_action();
}

int process_avp_action(void) { return process_action_sequence(1); }
int process_vertex_action(void) { return process_action_sequence(2); }
int process_avp_tax(void) { return process_engine_request(1, kTax); }
int process_avp_addr(void) { return process_engine_request(1, kAddress); }
int process_vertex_tax(void) { return process_engine_request(2, kTax); }
int process_vertex_addr(void) { return process_engine_request(2, kAddress); }

void init_tax_globals(int stype) {
  if (stype != 1 && stype != 2) return;
  api_setup.api_tax = 1;
  api_setup.api_subtype = stype;
}

int init_provider_type(int ptype, int stype) {
  if (ptype != kTax) return -1;
  api_queues.parent = static_cast<long>(getppid());
  api_install_signal_handlers();
  init_tax_globals(stype);
  return 0;
}

int init_apis(int ptype) {
  if (ptype != kTax) return 0;
  if (api_setup.api_tax != 1) {
    send_error(api_queues.msgin.ptype, api_queues.msgin.stype, 0);
    return 3;
  }
  const api_adapter* adapter = api_get_adapter(api_setup.api_subtype);
  if (adapter == nullptr) return 3;
  return adapter->open();
}

void terminate_api(void) {
  if (api_setup.api_tax == 1) {
    const api_adapter* adapter = api_get_adapter(api_setup.api_subtype);
    if (adapter != nullptr) adapter->close();
  }
  api_handle_pending_signal();
  log_api("API process exited by user ", __LINE__);
  api_log_close();
  // The output queue is the ERP's: a last reply (an error that ends the
  // process) is left to be read before the queue goes with it.
  api_drain_output(kDrainMs);
  api_close_queues();
  if (api_settings.log_level > 0) api_message_log_close();
  std::exit(0);
}
