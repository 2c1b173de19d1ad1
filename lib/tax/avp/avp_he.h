// avp_he: the Taxware engine as the process sees it - the seven entry points
// and the three fixed-layout records they exchange.
//
// The engine is two shared libraries, "avptax" (tax) and "avpzip" (ZIP),
// loaded at run time; the process never links them and reaches every entry
// point through a pointer resolved by its exact name (AVP_NAME_*). The records
// are plain bytes shared with code the process does not control, so every
// offset and width below is part of the contract and is proved by the
// static_asserts at the end of this file. Integers are 32-bit, doubles and
// floats IEEE, all in native byte order; text fields are fixed-width, not
// terminated, and padded with blanks in Tax_Str and Jur_Str.
//
// Field names carry the record offset where the engine's meaning is not the
// process's concern: the request fields are mapped onto them by position.
//
// This header is self-contained (standard headers only) so that stand-in
// engines can compile their definitions against the very same declarations.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Jur_Str: the jurisdictions of a tax calculation, 356 bytes.

// One address block: four text slots.
struct AvpJurBlock {
  char slot1[5];
  char slot2[26];
  char slot3[5];
  char slot4[9];
};

struct Jur_Str {
  char rsv_0[3];
  AvpJurBlock block[4];     // blocks 1 to 4 at 3, 48, 93, 138
  char rsv_183[42];
  char chr_225;             // request field 22
  char chr_226;             // request field 23
  char rsv_227[9];
  char chr_236;             // set by the engine, returned in the tax reply
  char rsv_237[87];
  int32_t JurCmplCd;        // jurisdiction completion code
  int32_t POOJurRC;         // per-jurisdiction return codes
  int32_t POAJurRC;
  int32_t ShpToJurRC;
  int32_t ShpFrJurRC;
  int32_t zero_344;
  char rsv_348[8];
};

// ---------------------------------------------------------------------------
// Tax_Str: the invoice line and its results, 1224 bytes.
//
// Eight value levels k = 0..7 each have an input pair (a double at 392 + 16k,
// a float at 400 + 16k; the first seven followed by 4 unused bytes) and a
// result pair (a double at 968 + 8k, a float at 1032 + 4k). The last input
// pair has no trailing bytes, so it is declared apart; use avp_level_in_dbl /
// avp_level_in_flt to address input level k.

constexpr int AVP_LEVELS = 8;

struct AvpLevelIn {
  double dbl;
  float flt;
  char rsv[4];
};

struct Tax_Str {
  char rsv_0[5];
  char function[5];         // "OPEN " or "CLOSE" in open/close records; blank otherwise
  char rsv_10[134];
  double dbl_144;           // request field 24
  char zero_152[16];
  double dbl_168;           // request field 25
  char zero_176[64];
  double dbl_240;           // request field 26
  char zero_248[8];
  char enh_marker;          // 'E' when an enhanced request carries level input
  char rsv_257[3];
  int32_t int_260;          // request field 27
  int32_t int_264;          // request field 28
  char text_268[28];        // request field 29
  int32_t zero_296;
  char rsv_300[5];
  char chr_305;             // request field 57 (enhanced)
  char rsv_306;
  char chr_307[6];          // six copies of request field 57 (enhanced)
  char rsv_313[3];
  int32_t ints_316[18];     // cleared; [9] (offset 352) is request field 36
  char rsv_388[4];
  AvpLevelIn level_in[7];   // input levels 0 to 6
  double level7_in_dbl;     // input level 7
  float level7_in_flt;
  char text_516[10];        // request field 33
  char text_526[66];        // request field 30
  char text_592[20];        // request field 32
  int32_t zero_612;
  char rsv_616[37];
  char text_653[2];         // request field 55 (enhanced)
  char copy_655[3][2];      // copies of text_653
  char text_661[25];        // request field 56 (enhanced)
  char copy_686[3][25];     // copies of text_661; the engine may set [0], which the reply returns
  char rsv_761[2];
  char copy_763[20];        // copy of text_783
  char text_783[20];        // request field 35
  char text_803[50];        // request field 31
  char text_853[51];        // request field 37
  int32_t int_904;          // request field 34; 1 after clearing
  char rsv_908[4];
  int32_t GenCmplCd;        // general completion code, set by the engine
  int32_t zero_916[12];
  char rsv_964[4];
  double level_out_dbl[AVP_LEVELS];  // results, set by the engine
  float level_out_flt[AVP_LEVELS];
  double zero_1064[8];
  char rsv_1128[10];
  char chr_1138;            // request field 54 (enhanced)
  char chr_1139;            // 'Y'
  char chr_1140;            // '1' for a calculation; blank after clearing
  char rsv_1141[83];
};

inline double* avp_level_in_dbl(Tax_Str* t, int k) {
  return k < 7 ? &t->level_in[k].dbl : &t->level7_in_dbl;
}
inline float* avp_level_in_flt(Tax_Str* t, int k) {
  return k < 7 ? &t->level_in[k].flt : &t->level7_in_flt;
}
inline const double* avp_level_in_dbl(const Tax_Str* t, int k) {
  return k < 7 ? &t->level_in[k].dbl : &t->level7_in_dbl;
}
inline const float* avp_level_in_flt(const Tax_Str* t, int k) {
  return k < 7 ? &t->level_in[k].flt : &t->level7_in_flt;
}

// ---------------------------------------------------------------------------
// Zip_Str: an address lookup and its candidates, 23448 bytes.

constexpr int AVP_ZIP_ENTRIES = 300;

// One candidate jurisdiction, 78 bytes, set by the engine. An entry whose
// first two bytes are both blank ends the list.
struct ZipEntry {
  char state[2];
  char zip[5];
  char rsv_7[5];
  char geo[2];
  char rsv_14[8];
  char city[26];
  char county_code[3];
  char county_name[26];
  char indicator;
};

struct Zip_Str {
  int32_t function;         // AVP_ZIP_FN_*
  char state[2];            // request field 7
  char zip[9];              // request field 8
  char city[29];            // request field 6
  int32_t ZipCmplCd;        // completion code, set by the engine
  ZipEntry entry[AVP_ZIP_ENTRIES];
};

// Zip_Str function codes.
enum { AVP_ZIP_FN_LOOKUP = 0, AVP_ZIP_FN_CLOSE = 2, AVP_ZIP_FN_OPEN = 3 };

// ---------------------------------------------------------------------------
// Entry points. All use the platform's C calling convention and C linkage.
//
//   AVPTAXOPEN()            non-zero opened, 0 failed
//   AVPTAX_IO_ERR(0)        called only right after a failed AVPTAXOPEN; result ignored
//   ZIPOPEN(3)              0 opened, anything else failed
//   AVPTAXCMN(tax, 51, jur) fills the result fields of both records; result only logged
//   ZIP020(zip)             fills ZipCmplCd and the entries; result only logged
//   ZIPCLOSE()              0 closed
//   AVPTAXCLOSE()           non-zero closed

constexpr int AVP_CMN_SELECT = 51;  // second argument of every AVPTAXCMN call
constexpr int AVP_IO_ERR_ARG = 0;

extern "C" {
typedef int AVPTAXOPEN_FN(void);
typedef int AVPTAXCLOSE_FN(void);
typedef int AVPTAXCMN_FN(Tax_Str* tax, int select, Jur_Str* jur);
typedef int AVPTAX_IO_ERR_FN(int code);
typedef int ZIPOPEN_FN(int function);
typedef int ZIPCLOSE_FN(void);
typedef int ZIP020_FN(Zip_Str* zip);

// Declared so that an engine's definitions are checked against these types.
// The process itself never calls them by these symbols.
AVPTAXOPEN_FN AVPTAXOPEN;
AVPTAXCLOSE_FN AVPTAXCLOSE;
AVPTAXCMN_FN AVPTAXCMN;
AVPTAX_IO_ERR_FN AVPTAX_IO_ERR;
ZIPOPEN_FN ZIPOPEN;
ZIPCLOSE_FN ZIPCLOSE;
ZIP020_FN ZIP020;
}

// Library base names and entry-point names as resolved at open.
#define AVP_TAX_LIB "avptax"
#define AVP_ZIP_LIB "avpzip"
#define AVP_NAME_TAXOPEN "AVPTAXOPEN"
#define AVP_NAME_TAXCLOSE "AVPTAXCLOSE"
#define AVP_NAME_TAXCMN "AVPTAXCMN"
#define AVP_NAME_TAXIOERR "AVPTAX_IO_ERR"
#define AVP_NAME_ZIPOPEN "ZIPOPEN"
#define AVP_NAME_ZIPCLOSE "ZIPCLOSE"
#define AVP_NAME_ZIP020 "ZIP020"

// ---------------------------------------------------------------------------
// Layout proofs.

static_assert(sizeof(int32_t) == 4 && sizeof(float) == 4 && sizeof(double) == 8);

static_assert(sizeof(AvpJurBlock) == 45);
static_assert(offsetof(AvpJurBlock, slot1) == 0);
static_assert(offsetof(AvpJurBlock, slot2) == 5);
static_assert(offsetof(AvpJurBlock, slot3) == 31);
static_assert(offsetof(AvpJurBlock, slot4) == 36);

static_assert(sizeof(Jur_Str) == 356);
static_assert(offsetof(Jur_Str, block) == 3);
static_assert(offsetof(Jur_Str, block) + 1 * sizeof(AvpJurBlock) == 48);
static_assert(offsetof(Jur_Str, block) + 2 * sizeof(AvpJurBlock) == 93);
static_assert(offsetof(Jur_Str, block) + 3 * sizeof(AvpJurBlock) == 138);
static_assert(offsetof(Jur_Str, rsv_183) == 183);
static_assert(offsetof(Jur_Str, chr_225) == 225);
static_assert(offsetof(Jur_Str, chr_226) == 226);
static_assert(offsetof(Jur_Str, rsv_227) == 227);
static_assert(offsetof(Jur_Str, chr_236) == 236);
static_assert(offsetof(Jur_Str, rsv_237) == 237);
static_assert(offsetof(Jur_Str, JurCmplCd) == 324);
static_assert(offsetof(Jur_Str, POOJurRC) == 328);
static_assert(offsetof(Jur_Str, POAJurRC) == 332);
static_assert(offsetof(Jur_Str, ShpToJurRC) == 336);
static_assert(offsetof(Jur_Str, ShpFrJurRC) == 340);
static_assert(offsetof(Jur_Str, zero_344) == 344);
static_assert(offsetof(Jur_Str, rsv_348) == 348);

static_assert(sizeof(AvpLevelIn) == 16);
static_assert(offsetof(AvpLevelIn, flt) == 8);

static_assert(sizeof(Tax_Str) == 1224);
static_assert(offsetof(Tax_Str, function) == 5 && sizeof(Tax_Str::function) == 5);
static_assert(offsetof(Tax_Str, rsv_10) == 10);
static_assert(offsetof(Tax_Str, dbl_144) == 144);
static_assert(offsetof(Tax_Str, zero_152) == 152 && sizeof(Tax_Str::zero_152) == 16);
static_assert(offsetof(Tax_Str, dbl_168) == 168);
static_assert(offsetof(Tax_Str, zero_176) == 176 && sizeof(Tax_Str::zero_176) == 64);
static_assert(offsetof(Tax_Str, dbl_240) == 240);
static_assert(offsetof(Tax_Str, zero_248) == 248 && sizeof(Tax_Str::zero_248) == 8);
static_assert(offsetof(Tax_Str, enh_marker) == 256);
static_assert(offsetof(Tax_Str, rsv_257) == 257);
static_assert(offsetof(Tax_Str, int_260) == 260);
static_assert(offsetof(Tax_Str, int_264) == 264);
static_assert(offsetof(Tax_Str, text_268) == 268 && sizeof(Tax_Str::text_268) == 28);
static_assert(offsetof(Tax_Str, zero_296) == 296);
static_assert(offsetof(Tax_Str, rsv_300) == 300);
static_assert(offsetof(Tax_Str, chr_305) == 305);
static_assert(offsetof(Tax_Str, rsv_306) == 306);
static_assert(offsetof(Tax_Str, chr_307) == 307 && sizeof(Tax_Str::chr_307) == 6);
static_assert(offsetof(Tax_Str, rsv_313) == 313);
static_assert(offsetof(Tax_Str, ints_316) == 316 && sizeof(Tax_Str::ints_316) == 72);
static_assert(offsetof(Tax_Str, ints_316) + 9 * sizeof(int32_t) == 352);
static_assert(offsetof(Tax_Str, rsv_388) == 388);
static_assert(offsetof(Tax_Str, level_in) == 392);
static_assert(offsetof(Tax_Str, level_in) + 6 * sizeof(AvpLevelIn) + offsetof(AvpLevelIn, flt) == 400 + 16 * 6);
static_assert(offsetof(Tax_Str, level7_in_dbl) == 392 + 16 * 7);
static_assert(offsetof(Tax_Str, level7_in_flt) == 400 + 16 * 7);
static_assert(offsetof(Tax_Str, text_516) == 516 && sizeof(Tax_Str::text_516) == 10);
static_assert(offsetof(Tax_Str, text_526) == 526 && sizeof(Tax_Str::text_526) == 66);
static_assert(offsetof(Tax_Str, text_592) == 592 && sizeof(Tax_Str::text_592) == 20);
static_assert(offsetof(Tax_Str, zero_612) == 612);
static_assert(offsetof(Tax_Str, rsv_616) == 616);
static_assert(offsetof(Tax_Str, text_653) == 653 && sizeof(Tax_Str::text_653) == 2);
static_assert(offsetof(Tax_Str, copy_655) == 655 && sizeof(Tax_Str::copy_655) == 6);
static_assert(offsetof(Tax_Str, text_661) == 661 && sizeof(Tax_Str::text_661) == 25);
static_assert(offsetof(Tax_Str, copy_686) == 686 && sizeof(Tax_Str::copy_686) == 75);
static_assert(offsetof(Tax_Str, rsv_761) == 761);
static_assert(offsetof(Tax_Str, copy_763) == 763 && sizeof(Tax_Str::copy_763) == 20);
static_assert(offsetof(Tax_Str, text_783) == 783 && sizeof(Tax_Str::text_783) == 20);
static_assert(offsetof(Tax_Str, text_803) == 803 && sizeof(Tax_Str::text_803) == 50);
static_assert(offsetof(Tax_Str, text_853) == 853 && sizeof(Tax_Str::text_853) == 51);
static_assert(offsetof(Tax_Str, int_904) == 904);
static_assert(offsetof(Tax_Str, rsv_908) == 908);
static_assert(offsetof(Tax_Str, GenCmplCd) == 912);
static_assert(offsetof(Tax_Str, zero_916) == 916 && sizeof(Tax_Str::zero_916) == 48);
static_assert(offsetof(Tax_Str, rsv_964) == 964);
static_assert(offsetof(Tax_Str, level_out_dbl) == 968 && sizeof(Tax_Str::level_out_dbl) == 64);
static_assert(offsetof(Tax_Str, level_out_flt) == 1032 && sizeof(Tax_Str::level_out_flt) == 32);
static_assert(offsetof(Tax_Str, zero_1064) == 1064 && sizeof(Tax_Str::zero_1064) == 64);
static_assert(offsetof(Tax_Str, rsv_1128) == 1128);
static_assert(offsetof(Tax_Str, chr_1138) == 1138);
static_assert(offsetof(Tax_Str, chr_1139) == 1139);
static_assert(offsetof(Tax_Str, chr_1140) == 1140);
static_assert(offsetof(Tax_Str, rsv_1141) == 1141 && sizeof(Tax_Str::rsv_1141) == 83);

static_assert(sizeof(ZipEntry) == 78);
static_assert(offsetof(ZipEntry, state) == 0 && sizeof(ZipEntry::state) == 2);
static_assert(offsetof(ZipEntry, zip) == 2 && sizeof(ZipEntry::zip) == 5);
static_assert(offsetof(ZipEntry, geo) == 12 && sizeof(ZipEntry::geo) == 2);
static_assert(offsetof(ZipEntry, city) == 22 && sizeof(ZipEntry::city) == 26);
static_assert(offsetof(ZipEntry, county_code) == 48 && sizeof(ZipEntry::county_code) == 3);
static_assert(offsetof(ZipEntry, county_name) == 51 && sizeof(ZipEntry::county_name) == 26);
static_assert(offsetof(ZipEntry, indicator) == 77);

static_assert(sizeof(Zip_Str) == 23448);
static_assert(offsetof(Zip_Str, function) == 0);
static_assert(offsetof(Zip_Str, state) == 4 && sizeof(Zip_Str::state) == 2);
static_assert(offsetof(Zip_Str, zip) == 6 && sizeof(Zip_Str::zip) == 9);
static_assert(offsetof(Zip_Str, city) == 15 && sizeof(Zip_Str::city) == 29);
static_assert(offsetof(Zip_Str, ZipCmplCd) == 44);
static_assert(offsetof(Zip_Str, entry) == 48);
static_assert(offsetof(Zip_Str, entry) + (AVP_ZIP_ENTRIES - 1) * sizeof(ZipEntry) == 48 + 78 * 299);
