// test_adapter: a scriptable engine adapter for exercising the dispatcher and
// the whole process without a vendor engine.
//
// Behaviour is scripted by the environment and by the request itself:
//   TEST_ADAPTER_OPEN    result of open (default 0: open)
//   TEST_ADAPTER_TRACE   file to which every step appends one line
//                        ("open", "close", "tax std", "tax enh", "addr")
// A tax or address request's body carries its own script:
//   field 6: the result the determine step returns (0 = success)
//   field 7: how many result messages to send (default 1)
//   field 8: the completion code of the status message (default 0)
// A failing result R is answered with error code 1500 + R. Each result
// message is "7~action~1~stype~seq~std|enh~field9~" so tests can see which
// form was chosen and that the body reached the adapter.
#pragma once

#include "api_adapter.h"

// Adapters for sub-provider 1 and 2 (identical but for the stype they send).
extern const api_adapter test_adapter_1;
extern const api_adapter test_adapter_2;

// Registers both with the dispatcher.
void test_adapter_register(void);
