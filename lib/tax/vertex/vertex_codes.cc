#include "vertex_codes.h"

#include "api_protocol.h"
#include "vertex_parse.h"
#include "vertex_tax.h"

#include "vtx_he.h"

namespace {

struct StatusName {
  int value;
  const char* name;
};

template <int N>
const char* find_name(const StatusName (&table)[N], int value, const char* otherwise) {
  for (const StatusName& entry : table) {
    if (entry.value == value) return entry.name;
  }
  return otherwise;
}

constexpr StatusName kDbNames[] = {
    {eVstDbRetCdNone, "None"},
    {eVstDbRetCdInvalidDb, "InvalidDb"},
    {eVstDbRetCdInvalidDataSource, "InvalidDataSource"},
    {eVstDbRetCdInvalidUserID, "InvalidUserID"},
    {eVstDbRetCdInvalidPassword, "InvalidPassword"},
    {eVstDbRetCdFail, "Fail"},
    {eVstDbRetCdMem, "Mem"},
    {eVstDbRetCdInvalidRegID, "InvalidRegID"},
    {eVstDbRetCdNumElems, "NumElems"},
};

constexpr StatusName kLocNames[] = {
    {eLocDbRetNone, "None"},
    {eLocDbRetInvalidDataSource, "InvalidDataSource"},
    {eLocDbRetDbExists, "DbExists"},
    {eLocDbRetDbExistsPartially, "DbExistsPartially"},
    {eLocDbRetDirectoryTooLong, "DirectoryTooLong"},
    {eLocDbRetAdminReadFailed, "AdminReadFailed"},
    {eLocDbRetAdminWriteFailed, "AdminWriteFailed"},
    {eLocDbRetIndexCreateFailed, "IndexCreateFailed"},
    {eLocDbRetIndexReIndexFailed, "IndexReIndexFailed"},
    {eLocDbRetIndexDropFailed, "IndexDropFailed"},
    {eLocDbRetInvalidVersion, "InvalidVersion"},
    {eLocDbRetOpenUpdateFileFailed, "OpenUpdateFileFailed"},
    {eLocDbRetInvalidAccessMode, "InvalidAccessMode"},
    {eLocDbRetCallBackError, "CallBackError"},
    {eLocDbRetDatabaseError, "DatabaseError"},
};

constexpr StatusName kCalcNames[] = {
    {eVstCalcRetCdMem, "Mem"},
    {eVstCalcRetCdInvalidShipTo, "InvalidShipTo"},
    {eVstCalcRetCdInvldNumLnItms, "InvldNumLnItms"},
    {eVstCalcRetCdLocDbConnError, "LocDbConnError"},
    {eVstCalcRetCdLocDbError, "LocDbError"},
    {eVstCalcRetCdRateDbConnError, "RateDbConnError"},
    {eVstCalcRetCdRateDbError, "RateDbError"},
    {eVstCalcRetCdTdmDbConnError, "TdmDbConnError"},
    {eVstCalcRetCdTdmDbError, "TdmDbError"},
    {eVstCalcRetCdRegDbConnError, "RegDbConnError"},
    {eVstCalcRetCdRegDbError, "RegDbError"},
    {eVstCalcRetCdNumElems, "NumElems"},
};

}  // namespace

const char* vertex_db_status_name(int status) { return find_name(kDbNames, status, ""); }
const char* vertex_loc_status_name(int status) { return find_name(kLocNames, status, nullptr); }
const char* vertex_calc_status_name(int status) { return find_name(kCalcNames, status, ""); }

double vertex_tax_error_number(int result) {
  switch (result) {
    case VTX_JUR_SHIP_TO:
    case VTX_JUR_SHIP_FROM:
    case VTX_JUR_SHIP_TO + VTX_JUR_SHIP_FROM:
    case VTX_JUR_ORDER_ACCEPT:
    case VTX_JUR_ORDER_ACCEPT + VTX_JUR_SHIP_TO:
    case VTX_JUR_OTHER:
      return API_ERR_VTX_JUR + get_jur_error_vertex(result);
    default:
      return API_ERR_VTX_TAX + result;
  }
}
