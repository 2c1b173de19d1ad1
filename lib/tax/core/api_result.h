// api_result: how the functions of the process say how they went - one
// convention for the whole of lib/tax.
//
//  - A function that either does its work or does not returns bool: true
//    when done (ready, fits, has a result, handled).
//  - The functions that stand between the process and the ERP, and between
//    the process and an engine, keep the small int codes the ERP and the
//    engines know, named here where they are the process's own:
//      senders (send_error, send_ack, api_send_text, the adapters' senders):
//        API_SENT or API_NOT_SENT;
//      message handlers (process_input and the process_* steps):
//        API_GO_ON or API_END_LOOP (any nonzero ends the loop);
//      engine opens and init_apis: ApiOpenResult (api_adapter.h);
//      init_provider_type: 0, or -1 for a provider type other than tax;
//      get_next_message: 1 received, 0 the loop is to end;
//      the determination steps: the engine's or the adapter's result code,
//        which the adapter's *_error_code turns into an error reply's code.
//  - A count or a length is returned as such, -1 when there is none.
#pragma once

constexpr int API_SENT = 0;
constexpr int API_NOT_SENT = 1;
constexpr int API_GO_ON = 0;
constexpr int API_END_LOOP = 1;
