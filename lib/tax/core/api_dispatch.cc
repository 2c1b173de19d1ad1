#include "api_dispatch.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "api_adapter.h"
#include "api_log.h"
#include "api_msg.h"
#include "api_result.h"
#include "api_signal.h"
#include "api_tarn.h"

ApiSetup api_setup;

namespace {

constexpr int kDrainMs = 2000;  // how long termination leaves a last reply to be read

void log_api(const char* text, int line) {
  api_log_write(api_settings.username, text, API_SRC, line, api_logs.log_file);
}

bool is_engine(int stype) { return stype == API_STYPE_TAXWARE || stype == API_STYPE_VERTEX; }

// An error reply of provider tax for sub-provider `stype`.
int send_tax_error(int stype, double code) { return send_error(API_PTYPE_TAX, stype, code); }

// One request of the data message just received, for sub-provider `stype`:
// the adapter's steps, then its reply or an error reply.
int process_engine_request(int stype, int action) {
  const api_adapter* adapter = api_get_adapter(stype);
  if (adapter == nullptr || !adapter->ready()) return send_tax_error(stype, API_ENGINE_NOT_OPEN_CODE);

  const char* text = api_queues.msgin_raw.mtext;
  char* out = api_queues.msgout_raw.mtext;
  double code = 0;
  int result = 0;
  if (action == API_ACTION_TAX) {
    const int enhanced = count_delimiters(text) > API_STANDARD_MAX_DELIMITERS ? 1 : 0;
    void* req = adapter->tax_new();
    if (req == nullptr) return send_tax_error(stype, API_ENGINE_NOT_OPEN_CODE);
    adapter->tax_parse(req, text, enhanced);
    const int r = adapter->tax_determine(req, enhanced);
    if (adapter->tax_error_code(req, r, &code)) {
      result = send_tax_error(stype, code);
    } else {
      std::memset(out, 0, API_TEXT_SIZE);
      result = adapter->tax_send(req, enhanced, out);
    }
    adapter->tax_free(req);
    return result;
  }
  void* req = adapter->addr_new();
  if (req == nullptr) return send_tax_error(stype, API_ENGINE_NOT_OPEN_CODE);
  adapter->addr_parse(req, text);
  const int r = adapter->addr_determine(req);
  if (adapter->addr_error_code(req, r, &code)) {
    result = send_tax_error(stype, code);
  } else {
    std::memset(out, 0, API_TEXT_SIZE);
    result = adapter->addr_send(req, out);
  }
  adapter->addr_free(req);
  return result;
}

// The data message that must follow an acknowledged action message.
int process_action_sequence(int stype) {
  if (api_queues.msgin.count < 1) return send_tax_error(stype, API_ERR_BAD_SEQUENCE);
  const int received = get_next_message();
  const MessageHeader& data = api_queues.msgin;
  if (received != 0 && data.ptype == API_PTYPE_TAX) {
    // A cut data message could read as another request with fields lost.
    if (api_queues.msgin_cut != 0 || data.stype != stype || data.type != API_MSG_DATA) {
      return send_tax_error(stype, API_ERR_BAD_SEQUENCE);
    }
    const bool taxware = stype == API_STYPE_TAXWARE;
    if (data.action == API_ACTION_TAX) return taxware ? process_avp_tax() : process_vertex_tax();
    if (data.action == API_ACTION_ADDRESS) return taxware ? process_avp_addr() : process_vertex_addr();
    return send_tax_error(stype, API_ERR_BAD_SEQUENCE);
  }
  if (data.ptype == 0 && data.stype == 0) return API_END_LOOP;  // nothing came
  return send_tax_error(stype, API_ERR_BAD_SEQUENCE);
}

}  // namespace

int process_input(void) {
  if (get_next_message() == 0) {
    if (!api_signal_caught()) {
      log_api("FATAL ERROR - API queue closed, send failed ", __LINE__);
      log_api("FATAL ERROR - API fatal error occurred for user ", __LINE__);
    }
    return API_END_LOOP;
  }
  const MessageHeader& message = api_queues.msgin;
  switch (static_cast<unsigned>(message.type)) {
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
      return send_error(message.ptype, message.stype, API_ERR_STRAY_DATA);
    default:
      return send_error(message.ptype, message.stype, API_ERR_UNEXPECTED);
  }
}

int process_init_message(void) {
  const int ptype = api_queues.msgin.ptype;
  const int stype = api_queues.msgin.stype;
  if (init_provider_type(ptype, stype) != 0) {
    send_error(ptype, stype, API_ERR_BAD_INIT);
    log_api("FATAL ERROR - API process passed invalid init. message", __LINE__);
    return API_END_LOOP;
  }
  // An init message's error reply carries the open's own result as its code.
  const int opened = init_apis(ptype);
  if (opened != API_OPEN_DONE) {
    send_error(ptype, stype, opened);
    log_api("FATAL ERROR - API process passed invalid init. message", __LINE__);
    terminate_api();
  }
  return send_ack(ptype, stype) == API_SENT ? API_GO_ON : API_END_LOOP;
}

int process_open_message(void) { return API_END_LOOP; }

int process_close_message(void) { return API_END_LOOP; }

int process_terminate_message(void) {
  log_api("API process received terminate message ", __LINE__);
  terminate_api();
}

int process_action_message(void) {
  const MessageHeader& message = api_queues.msgin;
  if (message.ptype != API_PTYPE_TAX) {
    log_api("API process received bad action message ", __LINE__);
    return send_error(message.ptype, message.stype, API_ERR_UNEXPECTED);
  }
  if (api_setup.api_tax != 1) return send_error(API_PTYPE_TAX, API_STYPE_TAXWARE, API_ERR_NOT_TAX);
  return decode_tax_action_message();
}

int decode_tax_action_message(void) {
  const MessageHeader& message = api_queues.msgin;
  const int stype = message.stype;
  if (!is_engine(stype)) return API_END_LOOP;
  if (message.action != API_ACTION_TAX && message.action != API_ACTION_ADDRESS) {
    return send_tax_error(stype, API_ERR_BAD_SEQUENCE);
  }
  send_ack(API_PTYPE_TAX, stype);  // its result is not looked at: the next send tells
  return stype == API_STYPE_TAXWARE ? process_avp_action() : process_vertex_action();
}

int process_avp_action(void) { return process_action_sequence(API_STYPE_TAXWARE); }
int process_vertex_action(void) { return process_action_sequence(API_STYPE_VERTEX); }
int process_avp_tax(void) { return process_engine_request(API_STYPE_TAXWARE, API_ACTION_TAX); }
int process_avp_addr(void) { return process_engine_request(API_STYPE_TAXWARE, API_ACTION_ADDRESS); }
int process_vertex_tax(void) { return process_engine_request(API_STYPE_VERTEX, API_ACTION_TAX); }
int process_vertex_addr(void) { return process_engine_request(API_STYPE_VERTEX, API_ACTION_ADDRESS); }

void init_tax_globals(int stype) {
  if (!is_engine(stype)) return;
  api_setup.api_tax = 1;
  api_setup.api_subtype = stype;
}

int init_provider_type(int ptype, int stype) {
  if (ptype != API_PTYPE_TAX) return -1;
  api_queues.parent = static_cast<long>(getppid());
  api_install_signal_handlers();
  init_tax_globals(stype);
  return 0;
}

int init_apis(int ptype) {
  if (ptype != API_PTYPE_TAX) return API_OPEN_DONE;
  if (api_setup.api_tax != 1) {
    send_error(api_queues.msgin.ptype, api_queues.msgin.stype, API_ERR_UNEXPECTED);
    return API_OPEN_WRONG_STYPE;
  }
  const api_adapter* adapter = api_get_adapter(api_setup.api_subtype);
  if (adapter == nullptr) return API_OPEN_WRONG_STYPE;
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
