// api_dispatch: the main loop's step, the handlers of every message type, the
// action-sequence checks, provider set-up, engine opening and termination.
//
// Handlers return 0 to go on and nonzero to end the loop.
#pragma once

// The provider set-up and the main loop's state.
struct ApiSetup {
  int api_tax = 0;      // 1 once set up for the tax provider
  int api_subtype = 0;  // 1 Taxware, 2 Vertex; 0 before set-up
  int mode = 0;         // main loop: 1 running, 2 stopping
};
extern ApiSetup api_setup;

int process_input(void);
int process_init_message(void);
int process_open_message(void);
int process_close_message(void);
int process_terminate_message(void);
int process_action_message(void);
int decode_tax_action_message(void);
int process_avp_action(void);
int process_vertex_action(void);
int process_avp_tax(void);
int process_avp_addr(void);
int process_vertex_tax(void);
int process_vertex_addr(void);

// 0, or -1 when `ptype` is not 1. Records the parent and installs the
// signal handlers.
int init_provider_type(int ptype, int stype);
void init_tax_globals(int stype);
// 0 engine open; 1 failed to open; 2 environment variables not set; 3 wrong sub-provider.
int init_apis(int ptype);
// Closes the engine, logs the exit, removes both queues, exits with 0.
[[noreturn]] void terminate_api(void);
