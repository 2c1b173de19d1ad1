// avp_calc: the tax calculation of the stand-in tax engine over Tax_Str and
// Jur_Str.
//
// What the engine reads (fields are bounded by their widths; the meaning of
// each is this engine's choice, documented in engines/avp/README.md):
//   Jur_Str block 1 ship-to, 2 ship-from, 3 order acceptance (POA),
//   4 order origin (POO); in each block slot 1 state, slot 2 city, slot 3
//   ZIP, slot 4 geo code. Byte 225 point of title ('D' or 'O'), byte 226
//   goods or services ('G' or 'S').
//   Tax_Str 144 line amount, 168 freight, 240 discount, 268 product code,
//   per level k the input double (exempt amount) and float (rate that
//   replaces the data's rate when non-zero).
// What it writes: GenCmplCd, JurCmplCd and the four jurisdiction codes, the
// eight result pairs (tax amount, rate), Jur_Str 236 (the point of title
// used) and Tax_Str 686 (the taxing place).
#pragma once

#include <string>

#include "avp_exempt.h"
#include "avp_he.h"
#include "avp_rates.h"
#include "avp_zipdata.h"

namespace avp_standin {

// General completion codes of this engine.
enum {
  kGenOk = 0,
  kGenBadFunction = 1,
  kGenZeroBase = 4,
  kGenRateGiven = 18,
  kGenExempt = 19,
  kGenBadAmount = 21,
  kGenNotOpen = 90,
  kGenAuditFailed = 91,
  kGenJurisdiction = 95,
};

// Jurisdiction completion codes.
enum { kJurOk = 0, kJurBadTitle = 1, kJurBadService = 2, kJurBadSelect = 9, kJurPlaces = 99 };

// Return codes of one jurisdiction (POOJurRC ... ShpFrJurRC).
enum {
  kPlaceFound = 0,
  kPlaceNotGiven = 1,
  kPlaceMissing = 2,
  kPlaceBadState = 3,
  kPlaceUnknown = 4,
  kPlaceAmbiguous = 5,
};

struct TaxData {
  const ZipMaster* zips = nullptr;
  const RateTable* rates = nullptr;
  const ExemptList* exempt = nullptr;
};

// What the audit journal records of one calculation.
struct CalcSummary {
  std::string state, zip, geo, city;  // the taxing place, empty when none
  char title = 'D';
  double base = 0;
  double total = 0;
};

// Calculates one line. Clears every result field first, so nothing of an
// earlier call survives. Returns GenCmplCd.
int calculate(const TaxData& data, Tax_Str* tax, int select, Jur_Str* jur, CalcSummary* summary);

// Resolves one address block to a place of the ZIP master. `required` makes
// an empty block kPlaceMissing instead of kPlaceNotGiven.
int resolve_place(const ZipMaster& zips, const AvpJurBlock& block, bool required, const ZipRow** place,
                  int* zip);

}  // namespace avp_standin
