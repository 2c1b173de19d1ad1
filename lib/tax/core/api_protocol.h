// api_protocol: the vocabulary of the messages between the ERP and the
// process - message types, provider and sub-provider numbers, actions - and
// every error code the process sends, each with its meaning, in one list.
// The process sends the codes by these names and taxapi-client explains
// them from the same list, so a code is never named two ways.
#pragma once

#include <cstddef>

// Message types: field 1 of every message.
enum ApiMessageType : int {
  API_MSG_INIT = 1,       // to the process: set the provider up, open the engine
  API_MSG_OPEN = 2,       // to the process: no work; ends the loop
  API_MSG_CLOSE = 3,      // to the process: no work; ends the loop
  API_MSG_TERMINATE = 4,  // to the process: end it
  API_MSG_ERROR = 5,      // from the process: field 6 is the error code
  API_MSG_STATUS = 6,     // from the process: the engine's completion code, the count of results
  API_MSG_RESULT = 7,     // from the process: one result record
  API_MSG_ACTION = 8,     // to the process: announces a request
  API_MSG_DATA = 9,       // to the process: the request itself
  API_MSG_ACK = 10        // from the process: acknowledgement, an empty body field
};

constexpr int API_PTYPE_TAX = 1;       // the one provider type
constexpr int API_STYPE_TAXWARE = 1;   // sub-providers
constexpr int API_STYPE_VERTEX = 2;
constexpr int API_ACTION_TAX = 1;      // actions of action and data messages
constexpr int API_ACTION_ADDRESS = 2;
constexpr int API_FIRST_BODY_FIELD = 6;
// The project id with which both sides make a queue file's IPC key (ftok).
constexpr int API_QUEUE_PROJECT_ID = 1;
// The longest message text the process takes; a longer one is refused (15).
constexpr int API_MAX_TEXT = 1023;
// A tax request with at most this many "~" has the standard form, else the
// enhanced one.
constexpr int API_STANDARD_MAX_DELIMITERS = 48;

// Every error code the process sends: name, code, the last code of its family
// (the same code for a single one) and its meaning. A family's code is its
// base plus the engine's code (Taxware) or the determination's result
// (Vertex); 1399 and 1600 carry flags in their decimals.
#define API_ERROR_CODES(X)                                                                                     \
  X(API_ERR_UNEXPECTED, 0, 0, "unknown or unexpected message, or wrong provider")                             \
  X(API_ERR_OPEN_FAILED, 1, 1, "engine could not be opened, or an action for an engine that is not open")     \
  X(API_ERR_ENV_MISSING, 2, 2, "engine environment variables not set")                                         \
  X(API_ERR_WRONG_STYPE, 3, 3, "wrong sub-provider, or engine environment variables not set")                  \
  X(API_ERR_START_FAILED, 4, 4, "engine could not be opened")                                                  \
  X(API_ERR_NOT_TAX, 5, 5, "process not set up for tax")                                                       \
  X(API_ERR_STRAY_DATA, 8, 8, "data message outside an action sequence")                                       \
  X(API_ERR_QUEUES, 13, 13, "queues could not be opened")                                                      \
  X(API_ERR_BAD_INIT, 14, 14, "missing arguments or wrong provider type")                                      \
  X(API_ERR_BAD_SEQUENCE, 15, 15, "malformed action sequence")                                                 \
  X(API_ERR_AVP_ADDR, 1100, 1199, "Taxware address lookup failed, ZipCmplCd")                                  \
  X(API_ERR_AVP_TAX, 1200, 1298, "Taxware tax calculation failed, GenCmplCd")                                  \
  X(API_ERR_AVP_TOO_WIDE, 1299, 1299, "Taxware tax result does not fit one message")                           \
  X(API_ERR_AVP_JUR, 1300, 1398, "Taxware jurisdiction check failed, JurCmplCd")                               \
  X(API_ERR_AVP_JUR99, 1399, 1399, "Taxware jurisdiction check failed, JurCmplCd 99")                          \
  X(API_ERR_VTX_ADDR_FAILED, 1401, 1401, "Vertex address lookup failed: the engine failed")                    \
  X(API_ERR_VTX_ADDR_NONE, 1402, 1402, "Vertex address lookup failed: criteria refused or nothing matched")     \
  X(API_ERR_VTX_TAX, 1500, 1598, "Vertex tax determination failed, result")                                    \
  X(API_ERR_VTX_TOO_WIDE, 1599, 1599, "Vertex tax result does not fit one message")                            \
  X(API_ERR_VTX_JUR, 1600, 1600, "Vertex jurisdiction stop")

// Plain ints: a family's code is its base plus an engine's number, or plus a
// fraction (1399, 1600), sent as a floating value.
// `name` is the declared identifier: parentheses there would only draw GCC's
// -Wparentheses.
#define API_ERR_CONSTANT(name, code, last, meaning) constexpr int name = code;  // NOLINT(bugprone-macro-parentheses)
API_ERROR_CODES(API_ERR_CONSTANT)
#undef API_ERR_CONSTANT

struct ApiErrorInfo {
  int code;
  int last;  // the family's last code; `code` for a single one
  const char* meaning;
};

// The entry whose code or family holds `whole` (a code's whole part), or null.
const ApiErrorInfo* api_error_info(long whole);

// The message type of `text` (its leading decimal field), or -1 when it has none.
int api_message_type(const char* text);

// The five header fields "type~action~ptype~stype~count~" into `out`
// (`size` bytes, terminated); returns the length written, cut to the buffer.
std::size_t api_format_header(char* out, std::size_t size, int type, int action, int ptype, int stype, int count);
