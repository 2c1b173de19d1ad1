#include "api_msg.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

#include "al_mslot.h"
#include "api_log.h"
#include "api_result.h"
#include "api_tarn.h"

namespace {

// One scanf "%d": white space, an optional sign, at least one digit. A value
// outside the int range counts as no match, so the header stops there.
bool scan_int(const char*& p, int* out) {
  const char* s = p;
  while (std::isspace(static_cast<unsigned char>(*s))) ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  if (!std::isdigit(static_cast<unsigned char>(*s))) return false;
  long long value = 0;
  while (std::isdigit(static_cast<unsigned char>(*s))) {
    value = value * 10 + (*s++ - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return false;
  *out = static_cast<int>(value);
  p = s;
  return true;
}

}  // namespace

MessageHeader decode_message(const char* text) {
  MessageHeader header {};
  if (text == nullptr) return header;
  int* fields[] = {&header.type, &header.action, &header.ptype, &header.stype, &header.count};
  const char* p = text;
  for (int i = 0; i < 5; ++i) {
    if (!scan_int(p, fields[i])) break;
    if (i == 4) break;
    if (*p == '\0') break;  // "%c" needs one more character
    ++p;
  }
  return header;
}

int get_field_of_msg(int n, const char* text, char* out, std::size_t out_size) {
  if (text == nullptr || out == nullptr) return 0;
  const char* p = text;
  if (n > 1 && *p != '\0') {
    for (int field = 1; field < n; ++p) {
      if (*p == '\0') return -1;
      if (*p == API_DELIM) ++field;
    }
  }
  if (*p == '\0') return -1;
  if (*p == API_DELIM) return 0;
  int copied = 0;
  while (*p != '\0' && *p != API_DELIM) {
    if (static_cast<std::size_t>(copied) + 1 < out_size) out[copied++] = *p;
    ++p;
  }
  return copied;
}

int count_delimiters(const char* text) {
  int n = 0;
  if (text == nullptr) return 0;
  for (const char* p = text; *p != '\0'; ++p) n += *p == API_DELIM;
  return n;
}

int api_send_text(char* text, int mtype) {
  if (text == nullptr || msq_out_id == -1) return API_NOT_SENT;  // no output queue
  text[API_TEXT_SIZE - 1] = '\0';
  if (api_settings.log_level == 2) api_message_log(text, API_MSGLOG_SENT);
  const int len = static_cast<int>(std::strlen(text)) + 1;
  return MSltSend(msq_out_id, mtype, text, len, 1) == 1 ? API_SENT : API_NOT_SENT;
}

int api_send_request(int mtype) {
  api_queues.msgout_raw.mtype = mtype;
  return api_send_text(api_queues.msgout_raw.mtext, mtype);
}

namespace {

// One of the process's own replies: the header, then `body`.
int send_reply(int type, int ptype, int stype, const char* body) {
  char* out = api_queues.msgout_raw.mtext;
  std::memset(out, 0, API_TEXT_SIZE);
  const std::size_t n = api_format_header(out, API_TEXT_SIZE, type, 0, ptype, stype, 0);
  std::snprintf(out + n, API_TEXT_SIZE - n, "%s", body);
  return api_send_request(API_REPLY_MTYPE);
}

}  // namespace

int send_error(int ptype, int stype, double code) {
  char body[64];
  std::snprintf(body, sizeof body, "%f~", code);
  return send_reply(API_MSG_ERROR, ptype, stype, body);
}

int send_ack(int ptype, int stype) { return send_reply(API_MSG_ACK, ptype, stype, "~"); }
