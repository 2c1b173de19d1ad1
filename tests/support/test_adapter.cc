#include "test_adapter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api_msg.h"

namespace {

struct Request {
  int stype;
  int action;
  int result;
  int count;
  int code;
  int enhanced;
  char echo[64];
};

int g_open[3] = {0, 0, 0};

void trace(const char* what, int stype) {
  const char* path = std::getenv("TEST_ADAPTER_TRACE");
  if (path == nullptr) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%d %s\n", stype, what);
    std::fclose(f);
  }
}

int field_int(const char* text, int n, int fallback) {
  char buf[32] = {};
  return get_field_of_msg(n, text, buf) > 0 ? std::atoi(buf) : fallback;
}

template <int S>
int open_step() {
  const char* scripted = std::getenv("TEST_ADAPTER_OPEN");
  const int result = scripted != nullptr ? std::atoi(scripted) : 0;
  g_open[S] = result == 0;
  trace("open", S);
  return result;
}

template <int S>
void close_step() {
  g_open[S] = 0;
  trace("close", S);
}

template <int S>
int ready_step() {
  return g_open[S];
}

template <int S>
void* new_request() {
  auto* req = static_cast<Request*>(std::calloc(1, sizeof(Request)));
  if (req != nullptr) req->stype = S;
  return req;
}

void parse(Request* req, const char* text, int action, int enhanced) {
  req->action = action;
  req->enhanced = enhanced;
  req->result = field_int(text, 6, 0);
  req->count = field_int(text, 7, 1);
  req->code = field_int(text, 8, 0);
  get_field_of_msg(9, text, req->echo);
}

int send_results(Request* req, char* out) {
  std::snprintf(out, API_TEXT_SIZE, "6~%d~1~%d~%d~%d~", req->action, req->stype, req->count, req->code);
  if (api_send_request(1) != 0) return 1;
  for (int i = 1; i <= req->count; ++i) {
    std::memset(out, 0, API_TEXT_SIZE);
    std::snprintf(out, API_TEXT_SIZE, "7~%d~1~%d~%d~%s~%s~", req->action, req->stype, i, req->enhanced ? "enh" : "std",
                  req->echo);
    if (api_send_request(1) != 0) return 1;
  }
  return 0;
}

int error_code(void* req, int result, double* code) {
  (void)req;
  if (result == 0) return 0;
  *code = 1500.0 + result;
  return 1;
}

void tax_parse(void* req, const char* text, int enhanced) { parse(static_cast<Request*>(req), text, 1, enhanced); }
int tax_determine(void* req, int enhanced) {
  auto* r = static_cast<Request*>(req);
  trace(enhanced ? "tax enh" : "tax std", r->stype);
  return r->result;
}
int tax_send(void* req, int, char* out) { return send_results(static_cast<Request*>(req), out); }
void addr_parse(void* req, const char* text) { parse(static_cast<Request*>(req), text, 2, 0); }
int addr_determine(void* req) {
  auto* r = static_cast<Request*>(req);
  trace("addr", r->stype);
  return r->result;
}
int addr_send(void* req, char* out) { return send_results(static_cast<Request*>(req), out); }

}  // namespace

const api_adapter test_adapter_1 = {
    "test1",      open_step<1>, close_step<1>, ready_step<1>, new_request<1>, tax_parse, tax_determine, error_code,
    tax_send,     std::free,    new_request<1>, addr_parse,   addr_determine, error_code, addr_send,    std::free,
};

const api_adapter test_adapter_2 = {
    "test2",      open_step<2>, close_step<2>, ready_step<2>, new_request<2>, tax_parse, tax_determine, error_code,
    tax_send,     std::free,    new_request<2>, addr_parse,   addr_determine, error_code, addr_send,    std::free,
};

void test_adapter_register(void) {
  api_set_adapter(1, &test_adapter_1);
  api_set_adapter(2, &test_adapter_2);
}
