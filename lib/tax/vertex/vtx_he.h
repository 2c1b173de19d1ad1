// vtx_he: the Vertex engine as the process sees it.
//
// The engine is two shared libraries, the tax library "vst" and the location
// library "loc", reached only through the 32 entry points declared here. Each
// entry point has a function type (<name>_fn); the same type declares the
// entry point itself, so an engine that defines it is checked against this
// header, and the adapter holds a <name>_fn* per entry point.
//
// Handles are opaque pointers created and owned by the engine; the process
// never looks behind them and gives each back to the engine to release.
// "Out" pointers are written by the engine; text buffers handed to a reading
// call have the widths named beside it, terminator included.
//
// Plain and self-contained (standard headers only): the stand-in engines
// include it as well as the adapter.
#pragma once

#include <cstdint>

extern "C" {

// ---- Handles -------------------------------------------------------------

typedef void* LocConnHdl;  // location database connection
typedef void* LocFindCtx;  // one location search
typedef void* LocHdl;      // one location found by a search
typedef void* VstConnHdl;  // tax connection holding the four databases
typedef void* VstHdl;      // calculation handle: one invoice with one line

// ---- Values --------------------------------------------------------------

// Database types of VstOpenDb / VstCloseDb.
enum {
  eVstDbTypeLocation = 0,
  eVstDbTypeRate = 1,
  eVstDbTypeRegister = 2,
  eVstDbTypeTDM = 3
};

// Database status (VstOpenDb, VstCloseDb); 0 = done.
enum {
  eVstDbRetCdNone = 0,
  eVstDbRetCdInvalidDb = 1,
  eVstDbRetCdInvalidDataSource = 2,
  eVstDbRetCdInvalidUserID = 3,
  eVstDbRetCdInvalidPassword = 4,
  eVstDbRetCdFail = 5,
  eVstDbRetCdMem = 6,
  eVstDbRetCdInvalidRegID = 7,
  eVstDbRetCdNumElems = 113
};

// Location status (LocOpenDb, LocCloseDb); 0 = done.
enum {
  eLocDbRetNone = 0,
  eLocDbRetInvalidDataSource = 1,
  eLocDbRetDbExists = 100,
  eLocDbRetDbExistsPartially = 101,
  eLocDbRetDirectoryTooLong = 102,
  eLocDbRetAdminReadFailed = 103,
  eLocDbRetAdminWriteFailed = 104,
  eLocDbRetIndexCreateFailed = 105,
  eLocDbRetIndexReIndexFailed = 106,
  eLocDbRetIndexDropFailed = 107,
  eLocDbRetInvalidVersion = 108,
  eLocDbRetOpenUpdateFileFailed = 109,
  eLocDbRetInvalidAccessMode = 110,
  eLocDbRetCallBackError = 111,
  eLocDbRetDatabaseError = 112
};

// Calculation status (VstCalcTax): 0 and eVstCalcRetCdDone count as done.
enum {
  eVstCalcRetCdNone = 0,
  eVstCalcRetCdMem = 1,
  eVstCalcRetCdInvalidShipTo = 2,
  eVstCalcRetCdInvldNumLnItms = 3,
  eVstCalcRetCdLocDbConnError = 4,
  eVstCalcRetCdLocDbError = 5,
  eVstCalcRetCdRateDbConnError = 6,
  eVstCalcRetCdRateDbError = 7,
  eVstCalcRetCdDone = 8,
  eVstCalcRetCdTdmDbConnError = 9,
  eVstCalcRetCdTdmDbError = 10,
  eVstCalcRetCdRegDbConnError = 11,
  eVstCalcRetCdRegDbError = 12,
  eVstCalcRetCdNumElems = 13
};

// Name levels of LocGetName.
enum { eLocLevelState = 0, eLocLevelCounty = 1, eLocLevelCity = 2 };

// Jurisdiction types set with VstSetInvJuris.
enum {
  eVstJurisTypeShipTo = 0,
  eVstJurisTypeShipFrom = 1,
  eVstJurisTypeOrderAccept = 2
};

// Taxing-jurisdiction types the engine reports back (VstGetLineDetail,
// VstGetLineLocalAddtl); any other value names none of the three.
enum {
  eVstTaxJurisShipTo = 2,
  eVstTaxJurisShipFrom = 3,
  eVstTaxJurisOrderAccept = 4
};

// Levels of VstSetLineLocal / VstGetLineLocal.
enum {
  eVstStLocTypeState = 0,
  eVstStLocTypeCnty = 1,
  eVstStLocTypeCity = 2,
  eVstStLocTypeDist = 3
};

// Additional localities of VstGetLineLocalAddtl.
enum {
  eVstLocAddtlTypeCnty = 0,
  eVstLocAddtlTypeCity = 1,
  eVstLocAddtlTypeDist = 2
};

// Taxability of VstSetLineLocal.
enum { eVstTaxbltyTaxable = 1, eVstTaxbltyNonTaxable = 2 };

// Level status of VstGetLineLocal / VstGetLineLocalAddtl that ends the level
// reads of a domestic line.
enum { eVstLevelStatusStop = 22 };

// Owners of a district's values reported by the district reads.
enum { eVstDistOwnerCity = 1, eVstDistOwnerCounty = 2 };

// ---- Tax library "vst" (20 entry points) ---------------------------------

// Database status; 0 = open.
typedef int VstOpenDb_fn(VstConnHdl conn, int db_type, const char* source,
                         const char* server, const char* user,
                         const char* password, int mode, void* reserved1,
                         void* reserved2);
// Null = failed.
typedef VstConnHdl VstCreateConnHdl_fn(void);
// Calculation status; 0 and eVstCalcRetCdDone = done.
typedef int VstCalcTax_fn(VstConnHdl conn, VstHdl hdl, int reserved1,
                          int reserved2);
// Null = failed.
typedef VstHdl VstCreateHdl_fn(void);
// Dumps the handle's contents with `text` into the file `file_name`.
typedef void VstDebugHdl_fn(VstHdl hdl, const char* file_name,
                            const char* text);
// 1 = released.
typedef int VstReleaseConnHdl_fn(VstConnHdl conn);
// Database status; 0 = closed.
typedef int VstCloseDb_fn(VstConnHdl conn, int db_type, void* reserved1,
                          void* reserved2);
// 1 = released.
typedef int VstReleaseHdl_fn(VstHdl hdl);
// Non-zero = reset (the handle is empty again).
typedef int VstResetHdl_fn(VstHdl hdl);
// Never called by the process; must be present.
typedef void* VstGetDatabaseConnHdl_fn(VstConnHdl conn, int db_type);

// The reading calls below return non-zero when done.
typedef int VstGetInvDetail_fn(VstHdl hdl, void* r2, void* r3,
                               char* invoice /*31*/, void* r5, void* r6,
                               void* r7, char* customer_1 /*33*/,
                               char* customer_2 /*33*/, int* invoice_mode,
                               char* company /*6*/, void* r12, void* r13,
                               void* r14, int* write_register);
typedef int VstGetLineDetail_fn(VstHdl hdl, int line_number, void* r3,
                                void* r4, void* r5, void* r6,
                                int* taxing_juris_type, double* line_amount,
                                double* line_a, double* line_b,
                                char* user_area /*26*/, int* line_kind,
                                void* r13, void* r14, void* r15, void* r16,
                                void* r17);
typedef int VstGetLineProd_fn(VstHdl hdl, int line_number, void* r3, void* r4,
                              char* product /*33*/, void* r6, void* r7,
                              void* r8, void* r9, void* r10, void* r11);
// Value B is argument 11, value A argument 14; `district_owner` is non-null
// only for the district level.
typedef int VstGetLineLocal_fn(VstHdl hdl, int line_number, int level,
                               void* r4, int* status, void* r6,
                               double* scratch_1, void* r8, double* scratch_2,
                               void* r10, double* value_b, void* r12,
                               void* r13, double* value_a,
                               int* district_owner);
typedef int VstGetLineLocalAddtl_fn(VstHdl hdl, int line_number, int locality,
                                    void* r4, int* status, void* r6,
                                    double* scratch_1, void* r8,
                                    double* scratch_2, void* r10,
                                    double* value_b, void* r12, void* r13,
                                    double* value_a, int* juris_type,
                                    int* district_owner);

// The setting calls below return non-zero when done.
// `amount` is non-null only for a non-taxable level; `local_text` is the
// enhanced request's local code text or null.
typedef int VstSetLineLocal_fn(VstHdl hdl, int line_number, int level,
                               int* taxability, int* local_code, int* zero,
                               const char* local_text, void* r8, void* r9,
                               double* amount, double* value_b, void* r12,
                               void* r13, double* value_a,
                               int* district_owner);
typedef int VstSetInvJuris_fn(VstHdl hdl, int juris_type, int one,
                              std::int64_t* geo_code, void* r5, void* r6,
                              void* r7, void* r8, int* juris_flag);
// The engine writes `write_register` back.
typedef int VstSetInvDetail_fn(VstHdl hdl, const char* invoice_text,
                               void* r3, const char* invoice_number,
                               void* r5, std::int64_t* zero,
                               const char* customer_1, const char* customer_2,
                               int* invoice_mode, const char* company,
                               const char* enh_code, void* r12, void* r13,
                               int* write_register);
typedef int VstSetLineProd_fn(VstHdl hdl, int line_number, int zero,
                              double* product, const char* product_code,
                              void* r6, int* zero_ref, void* r8,
                              double* product_copy, void* r10, void* r11);
// `line_a`/`line_b` (arguments 9, 10) are null except in a re-submission.
typedef int VstSetLineDetail_fn(VstHdl hdl, std::int64_t line_number,
                                int transaction_type, int zero_1,
                                int line_kind, int zero_2, int* one,
                                double* line_amount, double* line_a,
                                double* line_b, const char* user_area,
                                void* r12, const char* enh_line_text,
                                const char* enh_code, void* r15, void* r16);

// ---- Location library "loc" (12 entry points) ----------------------------

// Null = failed.
typedef LocConnHdl LocCreateConnHdl_fn(void);
// 1 = released.
typedef int LocReleaseConnHdl_fn(LocConnHdl conn);
// Location status; 0 = open.
typedef int LocOpenDb_fn(LocConnHdl conn, const char* source,
                         const char* server, const char* user,
                         const char* password, int mode);
// Location status; 0 = closed.
typedef int LocCloseDb_fn(LocConnHdl conn);
// 1 = destroyed.
typedef int LocDestroyFindContext_fn(LocFindCtx ctx);
// Releases `count` location handles of `locations`; 1 = go on searching.
typedef int LocRelease_fn(LocHdl* locations, int count);
// Writes the location's geo code: at most VTX_GEO_CODE_SIZE (10) characters,
// followed by a terminator only when fewer.
typedef int LocGetGeoCodeString_fn(LocHdl loc, char* geo_code, int r3, int r4,
                                   int r5);
// Writes at most `capacity` characters of the name of `level`
// (eLocLevel*), and a terminator after them.
typedef int LocGetName_fn(LocHdl loc, int level, int flag, char* name,
                          int capacity);
typedef void LocGetGeoCode_fn(LocHdl loc);
// Puts at most `max` location handles into `locations`; returns how many,
// 0 when none are left.
typedef int LocGetLocations_fn(LocFindCtx ctx, LocHdl* locations, int max,
                               int* more);
// Non-zero = criteria accepted.
typedef int LocSetNameCriteria_fn(LocFindCtx ctx, int kind, int r3,
                                  const char* state, int r5, int r6, int r7,
                                  int city_flag, const char* city, int r10,
                                  const char* zip);
// Null = failed.
typedef LocFindCtx LocCreateFindContext_fn(LocConnHdl conn);

// ---- The entry points themselves (defined by the engine libraries) --------

VstOpenDb_fn VstOpenDb;
VstCreateConnHdl_fn VstCreateConnHdl;
VstCalcTax_fn VstCalcTax;
VstCreateHdl_fn VstCreateHdl;
VstDebugHdl_fn VstDebugHdl;
VstReleaseConnHdl_fn VstReleaseConnHdl;
VstCloseDb_fn VstCloseDb;
VstReleaseHdl_fn VstReleaseHdl;
VstResetHdl_fn VstResetHdl;
VstGetDatabaseConnHdl_fn VstGetDatabaseConnHdl;
VstGetInvDetail_fn VstGetInvDetail;
VstGetLineDetail_fn VstGetLineDetail;
VstGetLineProd_fn VstGetLineProd;
VstGetLineLocal_fn VstGetLineLocal;
VstGetLineLocalAddtl_fn VstGetLineLocalAddtl;
VstSetLineLocal_fn VstSetLineLocal;
VstSetInvJuris_fn VstSetInvJuris;
VstSetInvDetail_fn VstSetInvDetail;
VstSetLineProd_fn VstSetLineProd;
VstSetLineDetail_fn VstSetLineDetail;

LocCreateConnHdl_fn LocCreateConnHdl;
LocReleaseConnHdl_fn LocReleaseConnHdl;
LocOpenDb_fn LocOpenDb;
LocCloseDb_fn LocCloseDb;
LocDestroyFindContext_fn LocDestroyFindContext;
LocRelease_fn LocRelease;
LocGetGeoCodeString_fn LocGetGeoCodeString;
LocGetName_fn LocGetName;
LocGetGeoCode_fn LocGetGeoCode;
LocGetLocations_fn LocGetLocations;
LocSetNameCriteria_fn LocSetNameCriteria;
LocCreateFindContext_fn LocCreateFindContext;

}  // extern "C"

// Widths of the buffers the process hands to the reading calls, terminator
// included, and the most location handles asked for in one LocGetLocations.
constexpr int VTX_INVOICE_SIZE = 31;
constexpr int VTX_CUSTOMER_SIZE = 33;
constexpr int VTX_COMPANY_SIZE = 6;
constexpr int VTX_USER_AREA_SIZE = 26;
constexpr int VTX_PRODUCT_SIZE = 33;
constexpr int VTX_GEO_CODE_SIZE = 10;
constexpr int VTX_MAX_LOCATIONS = 75;
