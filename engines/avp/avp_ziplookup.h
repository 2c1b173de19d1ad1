// avp_ziplookup: the address lookup of the stand-in ZIP engine over a
// Zip_Str: reads state, ZIP and city (bounded by their widths), sets
// ZipCmplCd and the candidate table.
#pragma once

#include "avp_he.h"
#include "avp_zipdata.h"

namespace avp_standin {

// ZipCmplCd values this engine produces.
enum {
  kZipOk = 0,
  kZipBadFunction = 1,
  kZipNotOpen = 2,
  kZipBadState = 12,
  kZipNoInput = 13,
  kZipStateZip = 14,
  kZipStateCity = 15,
  kZipStateZipCity = 16,
  kZipCityZips = 17,
  kZipZipCities = 18,
  kZipSeveral = 29,
  kZipOtherState = 30,
  kZipBadInput = 43,
};

// Blanks the whole candidate table, so that the list ends at entry 0.
void zip_blank_table(Zip_Str* zip);
// Looks the request up in `master`, fills the table and ZipCmplCd; returns
// ZipCmplCd. The function code is not looked at here.
int zip_lookup(const ZipMaster& master, Zip_Str* zip);
// Makes the table hold exactly `count` (0 to 300) candidates: the ones found
// first, then generated ones. Returns the number found before.
int zip_force_candidates(Zip_Str* zip, int count);
// Number of candidates in the table (entries before the first blank one).
int zip_count_candidates(const Zip_Str* zip);

}  // namespace avp_standin
