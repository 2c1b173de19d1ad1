#include "vtx_calc.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "vtx_text.h"

namespace vtx {

namespace {

bool juris_known(const JurisSetting& j) { return j.set && j.geo > 0; }

// The jurisdiction (index of Invoice::juris) that a sourcing rule taxes: the
// ship-to, else the order acceptance, else the ship-from; moved to the
// ship-from ('O') or order acceptance ('A') when that one lies in the same
// state. -1 when no jurisdiction has a geo code.
int pick_jurisdiction(const Invoice& inv, char sourcing) {
  int base = juris_known(inv.juris[0]) ? 0 : juris_known(inv.juris[2]) ? 2
             : juris_known(inv.juris[1]) ? 1 : -1;
  if (base < 0) return -1;
  int state = geo_state(inv.juris[base].geo);
  int alt = sourcing == 'O' ? 1 : sourcing == 'A' ? 2 : -1;
  if (alt >= 0 && juris_known(inv.juris[alt]) && geo_state(inv.juris[alt].geo) == state)
    return alt;
  return base;
}

void set_unknown(LevelResult* r) {
  *r = LevelResult();
  r->status = kLevelUnknown;
}

// A level from its rate record: none (level absent), or 22 without a rate.
void set_from_entry(const RateEntry* e, bool present, LevelResult* r) {
  *r = LevelResult();
  if (!present) return;
  if (e == nullptr || !e->has_rate) {
    r->status = kLevelUnknown;
    return;
  }
  r->rate = e->rate;
  r->owner = e->owner;
}

// An optional record (district, additional locality): absent means none.
void set_from_optional(const RateEntry* e, LevelResult* r) {
  set_from_entry(e, e != nullptr, r);
}

// Non-taxable amount of a level, never beyond the base (keeping its sign).
double exempt_part(double base, double asked) {
  if (base >= 0.0) return asked < 0.0 ? 0.0 : asked > base ? base : asked;
  return asked > 0.0 ? 0.0 : asked < base ? base : asked;
}

void apply_levels(const GeoDb& geo, const RateDb& rate, long long g, int flag,
                  double base, CalcResult* res) {
  LevelResult* lv = res->level;
  if (geo.place(g) == nullptr) {
    for (int i = 0; i < 4; ++i) set_unknown(&lv[i]);
    return;
  }
  const StateRate* sr = rate.state(geo_state(g));
  set_from_entry(sr != nullptr ? &sr->entry : nullptr, true, &lv[0]);
  set_from_entry(rate.county(geo_county_key(g)), true, &lv[1]);
  bool in_city = geo_place(g) != 0 && flag != 1;
  set_from_entry(rate.city(g), in_city, &lv[2]);
  set_from_optional(rate.district(g), &lv[3]);
  if (lv[3].owner == kOwnerCity && !in_city) lv[3] = LevelResult();
  for (int i = 0; i < 4; ++i) lv[i].base = base;
}

void apply_addtl(const GeoDb& geo, const RateDb& rate, long long g, int flag,
                 double base, CalcResult* res) {
  LevelResult* ad = res->addtl;
  if (geo.place(g) == nullptr) {
    for (int i = 0; i < 3; ++i) set_unknown(&ad[i]);
    return;
  }
  for (int k = 0; k < 3; ++k) set_from_optional(rate.addtl(g, k), &ad[k]);
  bool in_city = geo_place(g) != 0 && flag != 1;
  if (!in_city) {
    ad[kAddtlCity] = LevelResult();
    if (ad[kAddtlDistrict].owner == kOwnerCity) ad[kAddtlDistrict] = LevelResult();
  }
  for (int i = 0; i < 3; ++i) ad[i].base = base;
}

// A level's own settings (VstSetLineLocal) over what the databases gave;
// returns true and the fixed tax in *fixed when value B sets the tax.
bool apply_setting(const LocalSetting& s, int level, LevelResult* r, double* fixed) {
  bool has_fixed = false;
  if (!s.set) return false;
  if (s.taxability == 2) {
    r->exempt = exempt_part(r->base, s.has_amount ? s.amount : r->base);
    r->base -= r->exempt;
    r->status = 0;
  } else if (s.taxability == 1 && s.local_code >= 6 && s.has_a && std::isfinite(s.a)) {
    r->rate = s.a;
    r->status = 0;
    if (s.has_b && s.b != 0.0 && std::isfinite(s.b)) {
      *fixed = s.b;
      has_fixed = true;
    }
  }
  if (level == 3 && s.owner >= kOwnerCity && s.owner <= kOwnerOwn) r->owner = s.owner;
  return has_fixed;
}

std::string clean_field(const std::string& s) {
  std::string r(s);
  for (char& c : r) {
    if (c == '|' || static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return r;
}

}  // namespace

int calculate(const VstDatabases& dbs, CalcHandle* h) {
  h->result = CalcResult();
  if (!dbs.geo) return kCalcLocDbConn;
  if (!dbs.rate) return kCalcRateDbConn;
  if (!dbs.tdm) return kCalcTdmDbConn;
  if (!h->line.set) return kCalcNoLine;
  const Invoice& inv = h->invoice;
  int dest = pick_jurisdiction(inv, 'D');
  if (dest < 0) return kCalcNoJurisdiction;

  const StateRate* sr = dbs.rate->state(geo_state(inv.juris[dest].geo));
  int taxing = sr != nullptr ? pick_jurisdiction(inv, sr->sourcing) : dest;
  int addtl = sr != nullptr ? pick_jurisdiction(inv, sr->addtl_sourcing) : dest;
  CalcResult& res = h->result;
  res.taxing_type = kTaxingTypeOf[taxing];
  res.taxing_geo = inv.juris[taxing].geo;
  res.addtl_type = kTaxingTypeOf[addtl];

  double base = h->line.amount;
  if (!std::isfinite(base)) base = 0.0;
  const GeoState* st = dbs.geo->state(geo_state(res.taxing_geo));
  if (st != nullptr) {
    if (dbs.tdm->customer_exempt(inv.customer_1, st->abbr) ||
        dbs.tdm->customer_exempt(inv.customer_2, st->abbr)) {
      base = 0.0;
    } else {
      base *= dbs.tdm->product_portion(h->line.product_code, st->abbr);
    }
  }

  apply_levels(*dbs.geo, *dbs.rate, res.taxing_geo, inv.juris[taxing].flag, base, &res);
  apply_addtl(*dbs.geo, *dbs.rate, inv.juris[addtl].geo, inv.juris[addtl].flag, base, &res);

  bool unknown = false;
  for (int l = 0; l < 4; ++l) {
    LevelResult& r = res.level[l];
    double fixed = 0.0;
    bool has_fixed = apply_setting(h->line.local[l], l, &r, &fixed);
    r.tax = has_fixed ? fixed : r.status == kLevelUnknown ? 0.0 : round_cents(r.base * r.rate);
  }
  for (LevelResult& r : res.addtl) {
    r.tax = r.status == kLevelUnknown ? 0.0 : round_cents(r.base * r.rate);
  }
  double sum_a = 0.0, sum_b = 0.0;
  auto add = [&](const LevelResult& r) {
    unknown = unknown || r.status == kLevelUnknown;
    sum_a += r.rate;
    sum_b += r.tax;
  };
  for (const LevelResult& r : res.level) add(r);
  for (const LevelResult& r : res.addtl) add(r);
  res.line_a = h->line.has_totals ? h->line.total_a : sum_a;
  res.line_b = h->line.has_totals ? h->line.total_b : round_cents(sum_b);
  res.done = true;
  return unknown ? kCalcDoneWithUnknown : kCalcOk;
}

int write_register(const VstDatabases& dbs, const CalcHandle& h, int status) {
  if (h.invoice.write_register != 1) return status;
  if (status == kCalcDoneWithUnknown && !h.line.has_totals) return status;
  if (status != kCalcOk && status != kCalcDoneWithUnknown) return status;
  if (!dbs.register_open) return kCalcRegDbConn;
  if (!dbs.register_writable) return kCalcRegDbError;

  std::time_t now = std::time(nullptr);
  std::tm tmv{};
  char stamp[32] = "";
  if (localtime_r(&now, &tmv) != nullptr)
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tmv);
  std::string line = register_line(h, stamp);
  line.push_back('\n');
  std::FILE* f = std::fopen(dbs.register_path.c_str(), "a");
  if (f == nullptr) return kCalcRegDbError;
  bool ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
  ok = (std::fclose(f) == 0) && ok;
  return ok ? status : kCalcRegDbError;
}

std::string register_line(const CalcHandle& h, const std::string& stamp) {
  const Invoice& inv = h.invoice;
  const CalcResult& res = h.result;
  char line_number[32];
  std::snprintf(line_number, sizeof line_number, "%lld", h.line.number);
  char numbers[192];
  std::snprintf(numbers, sizeof numbers, "%d|%09lld|%.2f|%.6f|%.2f|%d", res.taxing_type,
                res.taxing_geo, h.line.amount, res.line_a, res.line_b,
                h.line.has_totals ? 1 : 0);
  return "INVOICE|" + stamp + "|" + clean_field(inv.number) + "|" + clean_field(inv.text) +
         "|" + clean_field(inv.company) + "|" + clean_field(inv.customer_1) + "|" +
         clean_field(inv.customer_2) + "|" + line_number + "|" +
         clean_field(h.line.product_code) + "|" + numbers;
}

std::string dump_handle(const CalcHandle& h) {
  std::string out;
  char buf[512];
  const Invoice& inv = h.invoice;
  const char* names[3] = {"ship-to", "ship-from", "order-accept"};
  for (int i = 0; i < 3; ++i) {
    std::snprintf(buf, sizeof buf, "  juris %-12s set=%d geo=%lld flag=%d\n", names[i],
                  inv.juris[i].set ? 1 : 0, inv.juris[i].geo, inv.juris[i].flag);
    out += buf;
  }
  out += "  invoice number=<" + inv.number + "> text=<" + inv.text + "> company=<" +
         inv.company + "> customers=<" + inv.customer_1 + "><" + inv.customer_2 + ">\n";
  std::snprintf(buf, sizeof buf, "  invoice mode=%d write_register=%d\n", inv.mode,
                inv.write_register);
  out += buf;
  const Line& ln = h.line;
  std::snprintf(buf, sizeof buf,
                "  line set=%d number=%lld type=%d kind=%d amount=%.6f totals=%d a=%.6f b=%.6f\n",
                ln.set ? 1 : 0, ln.number, ln.transaction_type, ln.line_kind, ln.amount,
                ln.has_totals ? 1 : 0, ln.total_a, ln.total_b);
  out += buf;
  out += "  product=<" + ln.product_code + "> user_area=<" + ln.user_area + ">\n";
  for (int l = 0; l < 4; ++l) {
    const LocalSetting& s = ln.local[l];
    if (!s.set) continue;
    std::snprintf(buf, sizeof buf, "  setting level=%d taxability=%d code=%d a=%.6f b=%.6f\n", l,
                  s.taxability, s.local_code, s.a, s.b);
    out += buf;
  }
  const CalcResult& res = h.result;
  std::snprintf(buf, sizeof buf, "  result done=%d taxing=%d geo=%lld addtl=%d a=%.6f b=%.2f\n",
                res.done ? 1 : 0, res.taxing_type, res.taxing_geo, res.addtl_type, res.line_a,
                res.line_b);
  out += buf;
  for (int l = 0; l < 7; ++l) {
    const LevelResult& r = l < 4 ? res.level[l] : res.addtl[l - 4];
    std::snprintf(buf, sizeof buf, "  %s %d status=%d rate=%.6f tax=%.2f base=%.2f owner=%d\n",
                  l < 4 ? "level" : "addtl", l < 4 ? l : l - 4, r.status, r.rate, r.tax, r.base,
                  r.owner);
    out += buf;
  }
  return out;
}

}  // namespace vtx
