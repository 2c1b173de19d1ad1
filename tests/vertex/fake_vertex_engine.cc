#include "fake_vertex_engine.h"

#include <algorithm>
#include <cstring>

#include "test_util.h"
#include "vertex_session.h"

FakeVertex fake;

namespace {

// Dummy handles: never looked behind by the adapter.
int loc_conn_obj, vst_conn_obj, vst_hdl_obj, ctx_obj;
int location_objs[200];

std::string text_of(const char* p) { return p ? std::string(p) : std::string("<null>"); }

void put_text(char* buf, int width, const std::string& text) {
  std::memset(buf, 0, static_cast<std::size_t>(width));
  std::memcpy(buf, text.data(), std::min<std::size_t>(text.size(), static_cast<std::size_t>(width - 1)));
}

int at(const std::vector<int>& v, std::size_t i, int otherwise) { return i < v.size() ? v[i] : otherwise; }

// ---- tax ----
int fVstOpenDb(VstConnHdl, int type, const char* source, const char*, const char*, const char*,
               int mode, void*, void*) {
  fake.calls.push_back("VstOpenDb");
  fake.open_sources.push_back(text_of(source));
  fake.open_modes.push_back(mode);
  return fake.vst_open_status[type & 3];
}
VstConnHdl fVstCreateConnHdl(void) {
  fake.calls.push_back("VstCreateConnHdl");
  return fake.vst_conn_null ? nullptr : &vst_conn_obj;
}
std::size_t calc_calls = 0;
int fVstCalcTax(VstConnHdl, VstHdl, int, int) {
  fake.calls.push_back("VstCalcTax");
  return at(fake.calc_status, calc_calls++, 0);
}
VstHdl fVstCreateHdl(void) {
  fake.calls.push_back("VstCreateHdl");
  return fake.vst_hdl_null ? nullptr : &vst_hdl_obj;
}
void fVstDebugHdl(VstHdl, const char* file, const char* text) {
  fake.calls.push_back("VstDebugHdl");
  fake.debug_texts.push_back(text_of(file) + "|" + text_of(text));
}
int fVstReleaseConnHdl(VstConnHdl) {
  fake.calls.push_back("VstReleaseConnHdl");
  return fake.vst_release_conn;
}
int fVstCloseDb(VstConnHdl, int type, void*, void*) {
  fake.calls.push_back("VstCloseDb");
  return fake.vst_close_status[type & 3];
}
int fVstReleaseHdl(VstHdl) {
  fake.calls.push_back("VstReleaseHdl");
  return fake.vst_release_hdl;
}
int fVstResetHdl(VstHdl) {
  fake.calls.push_back("VstResetHdl");
  return fake.reset_ok;
}
void* fVstGetDatabaseConnHdl(VstConnHdl, int) { return nullptr; }
int fVstGetInvDetail(VstHdl, void*, void*, char* invoice, void*, void*, void*, char* c1, char* c2,
                     int* mode, char* company, void*, void*, void*, int* wr) {
  fake.calls.push_back("VstGetInvDetail");
  if (!fake.get_inv_ok) return 0;
  put_text(invoice, VTX_INVOICE_SIZE, fake.invoice.value_or(fake.set_invoice));
  put_text(c1, VTX_CUSTOMER_SIZE, fake.customer_1.value_or(fake.set_c1));
  put_text(c2, VTX_CUSTOMER_SIZE, fake.customer_2.value_or(fake.set_c2));
  put_text(company, VTX_COMPANY_SIZE, fake.company.value_or(fake.set_company));
  *mode = fake.set_invoice_mode;
  *wr = fake.write_register.value_or(fake.set_write_register);
  return 1;
}
int fVstGetLineDetail(VstHdl, int, void*, void*, void*, void*, int* juris, double* amount,
                      double* line_a, double* line_b, char* user_area, int*, void*, void*, void*,
                      void*, void*) {
  fake.calls.push_back("VstGetLineDetail");
  if (!fake.get_line_ok) return 0;
  *juris = fake.juris;
  *amount = fake.amount.value_or(fake.set_amount);
  *line_a = fake.line_a;
  *line_b = fake.line_b;
  put_text(user_area, VTX_USER_AREA_SIZE,
           fake.user_area.value_or(fake.line_details.empty() ? "" : fake.line_details[0].user_area));
  return 1;
}
int fVstGetLineProd(VstHdl, int, void*, void*, char* product, void*, void*, void*, void*, void*,
                    void*) {
  fake.calls.push_back("VstGetLineProd");
  if (!fake.get_prod_ok) return 0;
  put_text(product, VTX_PRODUCT_SIZE, fake.product.value_or(fake.set_product_code));
  return 1;
}
int fVstGetLineLocal(VstHdl, int, int level, void*, int* status, void*, double*, void*, double*,
                     void*, double* b, void*, void*, double* a, int* owner) {
  fake.calls.push_back("VstGetLineLocal");
  fake.get_local_levels.push_back(level);
  const FakeLevel& l = fake.level[level & 3];
  *status = l.status;
  if (b) *b = l.b;
  if (a) *a = l.a;
  if (owner && l.owner) *owner = *l.owner;
  return l.ok;
}
int fVstGetLineLocalAddtl(VstHdl, int, int locality, void*, int* status, void*, double*, void*,
                          double*, void*, double* b, void*, void*, double* a, int* juris,
                          int* owner) {
  fake.calls.push_back("VstGetLineLocalAddtl");
  const FakeLevel& l = fake.addtl[locality % 3];
  *status = l.status;
  *b = l.b;
  *a = l.a;
  if (l.juris) *juris = *l.juris;
  if (owner && l.owner) *owner = *l.owner;
  return l.ok;
}
int fVstSetLineLocal(VstHdl, int, int level, int* taxability, int* local_code, int*,
                     const char* local_text, void*, void*, double* amount, double* b, void*, void*,
                     double* a, int*) {
  fake.calls.push_back("VstSetLineLocal");
  fake.locals.push_back({level, *taxability, *local_code, amount == nullptr,
                         amount ? *amount : 0.0, *a, *b, text_of(local_text)});
  return fake.set_line_local_ok[level & 3];
}
int fVstSetInvJuris(VstHdl, int type, int, std::int64_t* geo, void*, void*, void*, void*,
                    int* flag) {
  fake.calls.push_back("VstSetInvJuris");
  fake.geo[type % 3] = *geo;
  fake.juris_flag[type % 3] = *flag;
  return fake.set_inv_juris_ok[type % 3];
}
int fVstSetInvDetail(VstHdl, const char* text, void*, const char* number, void*, std::int64_t*,
                     const char* c1, const char* c2, int* mode, const char* company,
                     const char* enh_code, void*, void*, int* wr) {
  fake.calls.push_back("VstSetInvDetail");
  fake.set_invoice_text = text_of(text);
  fake.set_invoice = text_of(number);
  fake.set_c1 = text_of(c1);
  fake.set_c2 = text_of(c2);
  fake.set_company = text_of(company);
  fake.set_enh_code = text_of(enh_code);
  fake.set_invoice_mode = *mode;
  fake.set_write_register = *wr;
  return fake.set_inv_detail_ok;
}
int fVstSetLineProd(VstHdl, int, int, double* product, const char* code, void*, int*, void*,
                    double*, void*, void*) {
  fake.calls.push_back("VstSetLineProd");
  fake.set_product = *product;
  fake.set_product_code = text_of(code);
  return fake.set_line_prod_ok;
}
int fVstSetLineDetail(VstHdl, std::int64_t ln, int tt, int, int kind, int, int*, double* amount,
                      double* sum_a, double* sum_b, const char* user_area, void*,
                      const char* enh_line_text, const char* enh_code, void*, void*) {
  fake.calls.push_back("VstSetLineDetail");
  const std::size_t index = fake.line_details.size();
  fake.line_details.push_back({static_cast<long long>(ln), tt, kind, sum_a == nullptr,
                               sum_a ? *sum_a : 0.0, sum_b ? *sum_b : 0.0, text_of(user_area),
                               text_of(enh_line_text), text_of(enh_code)});
  if (index == 0) fake.set_amount = *amount;
  return at(fake.set_line_detail_ok, index, 1);
}

// ---- location ----
LocConnHdl fLocCreateConnHdl(void) {
  fake.calls.push_back("LocCreateConnHdl");
  return fake.loc_conn_null ? nullptr : &loc_conn_obj;
}
int fLocReleaseConnHdl(LocConnHdl) {
  fake.calls.push_back("LocReleaseConnHdl");
  return fake.loc_release_conn;
}
int fLocOpenDb(LocConnHdl, const char*, const char*, const char*, const char*, int) {
  fake.calls.push_back("LocOpenDb");
  return fake.loc_open_status;
}
int fLocCloseDb(LocConnHdl) {
  fake.calls.push_back("LocCloseDb");
  return fake.loc_close_status;
}
int fLocDestroyFindContext(LocFindCtx) {
  fake.calls.push_back("LocDestroyFindContext");
  ++fake.destroy_calls;
  return fake.destroy_ok;
}
int fLocRelease(LocHdl*, int) {
  fake.calls.push_back("LocRelease");
  return fake.release_ok;
}
const FakeLocation& location_of(LocHdl loc) {
  const int index = static_cast<int>(static_cast<int*>(loc) - location_objs);
  return fake.locations[static_cast<std::size_t>(index) % fake.locations.size()];
}
int fLocGetGeoCodeString(LocHdl loc, char* out, int, int, int) {
  const std::string& geo = location_of(loc).geo_code;
  std::memcpy(out, geo.c_str(), geo.size() + 1);  // as the engine does: no capacity
  return 1;
}
int fLocGetName(LocHdl loc, int level, int flag, char* out, int capacity) {
  const FakeLocation& l = location_of(loc);
  const std::string& text = level == 0 ? l.state : level == 1 ? l.county : l.city;
  (void)flag;
  const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(capacity));
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return 1;
}
void fLocGetGeoCode(LocHdl) {}
int fLocGetLocations(LocFindCtx, LocHdl* out, int max, int* more) {
  fake.calls.push_back("LocGetLocations");
  if (fake.force_count) {
    const int n = *fake.force_count;
    fake.force_count.reset();
    return n;
  }
  const int total = static_cast<int>(fake.locations.size());
  int n = std::min({fake.batch, max, total - fake.handed_out});
  if (n < 0) n = 0;
  for (int i = 0; i < n; ++i) out[i] = &location_objs[fake.handed_out + i];
  fake.handed_out += n;
  *more = fake.handed_out < total;
  return n;
}
int fLocSetNameCriteria(LocFindCtx, int kind, int r3, const char* state, int r5, int r6, int r7,
                        int city_flag, const char* city, int r10, const char* zip) {
  fake.calls.push_back("LocSetNameCriteria");
  const int args[8] = {kind, r3, r5, r6, r7, city_flag, r10, 0};
  std::copy(args, args + 8, fake.crit_args);
  fake.crit_state = text_of(state);
  fake.crit_city = text_of(city);
  fake.crit_zip = text_of(zip);
  return fake.criteria_ok;
}
LocFindCtx fLocCreateFindContext(LocConnHdl) {
  fake.calls.push_back("LocCreateFindContext");
  return fake.create_ctx_null ? nullptr : &ctx_obj;
}

FILE* log_stream = nullptr;

}  // namespace

void install_fake_vertex(void) {
  fake = FakeVertex{};
  calc_calls = 0;
  vertex_session = VertexSession{};
  VertexSession& s = vertex_session;
#define VTX_SET_FAKE(name) s.name##Add = f##name;
  VTX_TAX_ENTRY_POINTS(VTX_SET_FAKE)
  VTX_LOC_ENTRY_POINTS(VTX_SET_FAKE)
#undef VTX_SET_FAKE
  s.pLocConn = &loc_conn_obj;
  s.pVstConnHdl = &vst_conn_obj;
  s.pVstHdl = &vst_hdl_obj;
  s.opened = 1;
  if (log_stream != nullptr) std::fclose(log_stream);
  log_stream = std::tmpfile();
  s.vertex_log_file = log_stream;
  s.vertex_debug = 1;
}

void uninstall_fake_vertex(void) {
  vertex_session = VertexSession{};
  if (log_stream != nullptr) std::fclose(log_stream);
  log_stream = nullptr;
}

std::vector<std::string> log_messages(void) {
  std::string text;
  if (log_stream == nullptr) return {};
  std::fflush(log_stream);
  std::rewind(log_stream);
  for (int c; (c = std::fgetc(log_stream)) != EOF;) text += static_cast<char>(c);
  std::fseek(log_stream, 0, SEEK_END);  // the next write follows a positioning call
  return test_util::log_messages(text);
}

bool has_message(const std::vector<std::string>& messages, const std::string& text) {
  return std::find(messages.begin(), messages.end(), text) != messages.end();
}
