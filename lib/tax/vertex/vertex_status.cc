#include "vertex_status.h"

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
