// api_msg: the "~"-delimited message format shared with the ERP, the two
// process-wide queue buffers, and the one send routine every reply uses.
#pragma once

#include <cstddef>

#include "api_protocol.h"

constexpr std::size_t API_TEXT_SIZE = 1024;  // text bytes of each process buffer
constexpr char API_DELIM = '~';

// "%f" of a value below API_NARROW_LIMIT in magnitude (or of a NaN) takes at
// most API_NARROW_WIDTH characters (sign, 15 digits, point, 6 decimals), so
// a reply of such values can be known to fit without formatting it first.
constexpr double API_NARROW_LIMIT = 1e15;
constexpr std::size_t API_NARROW_WIDTH = 23;
inline bool api_is_narrow(double value) { return !(value >= API_NARROW_LIMIT || value <= -API_NARROW_LIMIT); }

// A queue message as it travels: the queue message type, then the text.
struct QueueMessage {
  long mtype;
  char mtext[API_TEXT_SIZE];
};

// The five decimal integers at the start of every message.
struct MessageHeader {
  int type;
  int action;
  int ptype;
  int stype;
  int count;
};

// Reads five integers each followed by one separator of any kind (scanf
// "%d%c%d%c%d%c%d%c%d"). Stops at the first item that does not match; unread
// fields are 0. A number outside the int range stops the reading there too.
MessageHeader decode_message(const char* text);

// Copies field `n` (numbered from 1; n <= 1 means field 1) of `text` into
// `out`, at most out_size - 1 characters, without writing a terminator (callers
// clear `out` first). Returns the number of characters copied, 0 for an empty
// field (out untouched) or a null argument, -1 when the field does not exist.
int get_field_of_msg(int n, const char* text, char* out, std::size_t out_size);

template <std::size_t N>
int get_field_of_msg(int n, const char* text, char (&out)[N]) {
  return get_field_of_msg(n, text, out, N);
}

// Number of "~" in `text`: more than 48 marks the enhanced request form.
int count_delimiters(const char* text);

// Every reply of the process travels with this queue message type.
constexpr int API_REPLY_MTYPE = 1;

// Sends the reply text in `text` (a buffer of API_TEXT_SIZE bytes, whose last
// byte is made 0 so a reply never runs past it) on the output queue with
// queue message type `mtype`, its terminating NUL included; logged first at
// level 2. Returns 0 when sent, 1 when not. Adapters send the buffer they
// were given with it.
int api_send_text(char* text, int mtype);
// api_send_text of the process's own output buffer (api_queues.msgout_raw).
int api_send_request(int mtype);
// "5~0~ptype~stype~0~code~" with the code as "%f"; 0 sent, 1 not.
int send_error(int ptype, int stype, double code);
// "10~0~ptype~stype~0~~"; 0 sent, 1 not.
int send_ack(int ptype, int stype);
