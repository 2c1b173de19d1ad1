// api_adapter: the seam between the dispatcher and one sub-provider's engine.
//
// The dispatcher (api_dispatch) never touches an engine or its records: it
// drives a request through the steps below, in this order, for the adapter
// registered for the message's sub-provider:
//
//   ready? -> *_new -> *_parse -> *_determine -> *_error_code -> *_send | error reply -> *_free
//
// Request records are owned by the adapter: *_new allocates (zero-filled and
// cleared to the engine's initial values) and *_free releases them; the
// dispatcher only carries the pointer from one step to the next.
#pragma once

#include "api_protocol.h"

// What an engine's open (and init_apis) answers; the dispatcher sends it as
// the code of an init message's error reply.
enum ApiOpenResult : int {
  API_OPEN_DONE = 0,
  API_OPEN_FAILED = 1,       // a library, an entry point, a variable or the engine failed
  API_OPEN_ENV_MISSING = 2,  // an environment variable is missing (Taxware)
  API_OPEN_WRONG_STYPE = 3   // no engine for the sub-provider (init_apis)
};

struct api_adapter {
  const char* name;

  // Opens the engine: 0 open; 1 a library, an entry point, an environment
  // variable or the engine itself failed; 2 an environment variable is missing.
  int (*open)(void);
  // Closes whatever the opens resolved; runs every close step.
  void (*close)(void);
  // True when the engine is open and every entry point is resolved, so a
  // request may be handed to it.
  bool (*ready)(void);

  // Tax calculation; `enhanced` is 1 for the enhanced request form.
  void* (*tax_new)(void);
  void (*tax_parse)(void* req, const char* text, int enhanced);
  int (*tax_determine)(void* req, int enhanced);
  // True when `result` (of tax_determine) is a failure, with the error
  // reply's code stored in *code; false when the results are to be sent.
  bool (*tax_error_code)(void* req, int result, double* code);
  // Builds the status and result messages into `out` (API_TEXT_SIZE bytes,
  // cleared) and sends each from there (api_send_text): 0 all sent, else 1.
  int (*tax_send)(void* req, int enhanced, char* out);
  void (*tax_free)(void* req);

  // Address lookup; same contract as the tax steps.
  void* (*addr_new)(void);
  void (*addr_parse)(void* req, const char* text);
  int (*addr_determine)(void* req);
  bool (*addr_error_code)(void* req, int result, double* code);
  int (*addr_send)(void* req, char* out);
  void (*addr_free)(void* req);
};

// The adapter of an engine that is not built into this executable: its open
// fails as an engine that cannot be opened does (1), and it is never ready.
extern const api_adapter api_unavailable_adapter;

// Registers `adapter` for sub-provider `stype` (1 Taxware, 2 Vertex). Until
// then both use api_unavailable_adapter. The registry holds the pointer only;
// the adapter must outlive the process's use of it (adapters are static).
void api_set_adapter(int stype, const api_adapter* adapter);
// The adapter for `stype`, or null for a sub-provider other than 1 or 2.
const api_adapter* api_get_adapter(int stype);

// Error code sent when an action reaches a sub-provider whose engine is not
// open: the code of an engine that could not be opened.
constexpr double API_ENGINE_NOT_OPEN_CODE = API_ERR_OPEN_FAILED;
