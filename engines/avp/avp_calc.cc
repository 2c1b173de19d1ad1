#include "avp_calc.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "avp_text.h"

namespace avp_standin {

namespace {

// Amounts beyond this are refused: they cannot be money and would lose the
// cents in a double.
constexpr double kMaxAmount = 1e11;

double round_cents(double v) { return std::round(v * 100.0) / 100.0; }

bool blank_or_nul(const char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (p[i] != ' ' && p[i] != '\0') return false;
  return true;
}

bool valid_amount(double v) { return std::isfinite(v) && std::fabs(v) <= kMaxAmount; }

}  // namespace

int resolve_place(const ZipMaster& zips, const AvpJurBlock& block, bool required, const ZipRow** place,
                  int* zip) {
  *place = nullptr;
  *zip = -1;
  std::string state = fold(field_text(block.slot1, sizeof block.slot1));
  std::string city = fold(field_text(block.slot2, sizeof block.slot2));
  std::string code = field_text(block.slot3, sizeof block.slot3);
  std::string geo = field_text(block.slot4, sizeof block.slot4);
  if (state.empty() && city.empty() && code.empty() && geo.empty())
    return required ? kPlaceMissing : kPlaceNotGiven;
  if (!all_letters(state, 2) || !zips.has_state(state)) return kPlaceBadState;
  long z = -1;
  if (!code.empty() && (!all_digits(code, 5) || !parse_long(code, 0, 99999, &z))) return kPlaceUnknown;
  if (!geo.empty() && !all_digits(geo, 2)) return kPlaceUnknown;
  std::vector<const ZipRow*> rows = zips.find(state, static_cast<int>(z), city, geo);
  if (rows.empty()) return kPlaceUnknown;
  if (rows.size() > 1) return kPlaceAmbiguous;
  *place = rows[0];
  *zip = z >= 0 ? static_cast<int>(z) : rows[0]->zip_lo;
  return kPlaceFound;
}

int calculate(const TaxData& data, Tax_Str* tax, int select, Jur_Str* jur, CalcSummary* summary) {
  *summary = CalcSummary{};
  tax->GenCmplCd = kGenOk;
  for (int k = 0; k < AVP_LEVELS; ++k) {
    tax->level_out_dbl[k] = 0;
    tax->level_out_flt[k] = 0;
  }
  jur->JurCmplCd = kJurOk;
  jur->POOJurRC = jur->POAJurRC = jur->ShpToJurRC = jur->ShpFrJurRC = kPlaceFound;

  // A calculation carries a blank function; "OPEN " or "CLOSE" here is a
  // caller's mix-up.
  if (!blank_or_nul(tax->function, sizeof tax->function)) return tax->GenCmplCd = kGenBadFunction;

  bool title_ok = true, service_ok = true, service = false;
  char title = 'D';
  switch (jur->chr_225) {
    case '\0': case ' ': case 'D': case 'd': title = 'D'; break;
    case 'O': case 'o': title = 'O'; break;
    default: title_ok = false; break;
  }
  switch (jur->chr_226) {
    case '\0': case ' ': case 'G': case 'g': break;
    case 'S': case 's': service = true; break;
    default: service_ok = false; break;
  }
  jur->chr_236 = title;
  summary->title = title;

  // Blocks: 1 ship-to, 2 ship-from, 3 POA, 4 POO. The point of title picks
  // the taxing place, which must be given.
  const int taxing = title == 'D' ? 0 : 1;
  const ZipRow* places[4];
  int zips[4];
  int rc[4];
  for (int b = 0; b < 4; ++b) rc[b] = resolve_place(*data.zips, jur->block[b], b == taxing, &places[b], &zips[b]);
  jur->ShpToJurRC = rc[0];
  jur->ShpFrJurRC = rc[1];
  jur->POAJurRC = rc[2];
  jur->POOJurRC = rc[3];

  int jcode = kJurOk;
  if (select != AVP_CMN_SELECT) jcode = kJurBadSelect;
  else if (!title_ok) jcode = kJurBadTitle;
  else if (!service_ok) jcode = kJurBadService;
  else if (rc[0] > 1 || rc[1] > 1 || rc[2] > 1 || rc[3] > 1) jcode = kJurPlaces;
  jur->JurCmplCd = jcode;
  if (jcode != kJurOk) return tax->GenCmplCd = kGenJurisdiction;

  const ZipRow& place = *places[taxing];
  char zipbuf[8];
  std::snprintf(zipbuf, sizeof zipbuf, "%05d", zips[taxing]);
  summary->state = place.state;
  summary->zip = zipbuf;
  summary->geo = place.geo;
  summary->city = place.city;

  double amount = tax->dbl_144, freight = tax->dbl_168, discount = tax->dbl_240;
  bool amounts_ok = valid_amount(amount) && valid_amount(freight) && valid_amount(discount);
  for (int k = 0; k < AVP_LEVELS && amounts_ok; ++k) {
    double ex = *avp_level_in_dbl(tax, k);
    float r = *avp_level_in_flt(tax, k);
    if (!valid_amount(ex) || ex < 0 || !std::isfinite(r) || r < 0 || r >= 1) amounts_ok = false;
  }
  if (!amounts_ok) return tax->GenCmplCd = kGenBadAmount;

  double base = amount + freight - discount;
  summary->base = base;
  bool exempt = data.exempt->exempt(place.state, fold(field_text(tax->text_268, sizeof tax->text_268)));
  bool rate_given = false;
  double total = 0;
  for (int k = 0; k < AVP_LEVELS; ++k) {
    // Services are taxed by the country and the state only.
    if (service && k > 1) continue;
    double rate = data.rates->rate_for(k, place).rate;
    float given = *avp_level_in_flt(tax, k);
    if (given != 0) {
      rate = given;
      rate_given = true;
    }
    double ex = *avp_level_in_dbl(tax, k);
    double taxable = base >= 0 ? std::fmax(0.0, base - ex) : std::fmin(0.0, base + ex);
    // + 0.0 turns a rounded -0 into 0.
    double amount_k = exempt ? 0.0 : round_cents(taxable * rate) + 0.0;
    tax->level_out_dbl[k] = amount_k;
    tax->level_out_flt[k] = static_cast<float>(rate);
    total += amount_k;
  }
  summary->total = round_cents(total);

  put_field(tax->copy_686[0], sizeof tax->copy_686[0],
            place.state + " " + zipbuf + " " + place.geo + " " + place.city);

  if (exempt) return tax->GenCmplCd = kGenExempt;
  if (base == 0) return tax->GenCmplCd = kGenZeroBase;
  if (rate_given) return tax->GenCmplCd = kGenRateGiven;
  return tax->GenCmplCd = kGenOk;
}

}  // namespace avp_standin
