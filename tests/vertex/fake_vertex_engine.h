// fake_vertex_engine: in-process stand-ins for the 32 entry points, installed
// into vertex_session so the adapter's steps run against scripted answers.
//
// By default the fake behaves like a sound engine: every call answers TRUE,
// the reading calls give back what was set, levels report status 0. Tests
// change the answers in `fake` before the call and read what the adapter
// handed over afterwards. The session log goes to a temporary stream whose
// message lines log_messages() returns.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

struct FakeLevel {
  int ok = 1;
  int status = 0;
  double a = 0.0, b = 0.0;
  std::optional<int> owner;  // written through the district-owner pointer
  std::optional<int> juris;  // additional jurisdiction type
};

struct FakeLocation {
  std::string city, state, county, geo_code;
};

struct FakeLocalCall {
  int level, taxability, local_code;
  bool amount_null;
  double amount, a, b;
  std::string local_text;
};

struct FakeLineDetail {
  long long line_number;
  int transaction_type, line_kind;
  bool sums_null;
  double sum_a, sum_b;
  std::string user_area, enh_line_text, enh_code;
};

struct FakeVertex {
  std::vector<std::string> calls;  // entry-point names in call order

  // Tax answers.
  int set_inv_juris_ok[3] = {1, 1, 1};  // by eVstJurisType*
  int set_inv_detail_ok = 1;
  std::vector<int> set_line_detail_ok;  // per call, 1 when missing
  int set_line_prod_ok = 1;
  int set_line_local_ok[4] = {1, 1, 1, 1};  // by level
  std::vector<int> calc_status;             // per call, 0 when missing
  int get_inv_ok = 1, get_line_ok = 1, get_prod_ok = 1;
  int reset_ok = 1;
  std::optional<std::string> invoice, customer_1, customer_2, company, user_area, product;
  std::optional<int> write_register;
  int juris = 2;
  std::optional<double> amount;
  double line_a = 0.0, line_b = 0.0;
  FakeLevel level[4];  // by eVstStLocType*
  FakeLevel addtl[3];  // by eVstLocAddtlType*

  // What the adapter handed over.
  std::string set_invoice_text, set_invoice, set_c1, set_c2, set_company, set_enh_code;
  int set_invoice_mode = -1, set_write_register = -1;
  double set_amount = 0.0, set_product = 0.0;
  std::string set_product_code;
  long long geo[3] = {0, 0, 0};
  int juris_flag[3] = {0, 0, 0};
  std::vector<FakeLocalCall> locals;
  std::vector<FakeLineDetail> line_details;
  std::vector<std::string> debug_texts;
  std::vector<int> get_local_levels;

  // Location answers.
  int create_ctx_null = 0;
  int criteria_ok = 1;
  std::vector<FakeLocation> locations;
  int batch = 75;
  std::optional<int> force_count;  // LocGetLocations answers this once
  int release_ok = 1;
  int destroy_ok = 1;
  std::string crit_state, crit_city, crit_zip;
  int crit_args[8] = {};
  int destroy_calls = 0;
  int handed_out = 0;

  // Session answers.
  int loc_conn_null = 0, vst_conn_null = 0, vst_hdl_null = 0;
  int loc_open_status = 0, loc_close_status = 0;
  int vst_open_status[4] = {0, 0, 0, 0};   // by database type
  int vst_close_status[4] = {0, 0, 0, 0};
  int loc_release_conn = 1, vst_release_hdl = 1, vst_release_conn = 1;
  std::vector<std::string> open_sources;  // VstOpenDb sources in order ("<null>")
  std::vector<int> open_modes;
};

extern FakeVertex fake;

// Resets `fake`, fills every <name>Add of vertex_session with the fakes, sets
// the three handles to dummy values, opens the log on a temporary stream with
// vertex_debug 1, and marks the session open.
void install_fake_vertex(void);
// Clears the session and closes the temporary log stream.
void uninstall_fake_vertex(void);
// The "Log mesg: " texts written to the session log so far, in order.
std::vector<std::string> log_messages(void);
// True when `messages` contains `text`.
bool has_message(const std::vector<std::string>& messages, const std::string& text);

// RAII: installs the fake for one test and uninstalls it at the end.
struct FakeVertexScope {
  FakeVertexScope() { install_fake_vertex(); }
  ~FakeVertexScope() { uninstall_fake_vertex(); }
};
