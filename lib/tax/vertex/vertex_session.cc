#include "vertex_session.h"

#include <cstdlib>
#include <cstring>

#include "al_logfile.h"
#include "al_sli.h"
#include "api_log.h"
#include "vertex_codes.h"
#include "vertex_log.h"
#include "vertex_number.h"

VertexSession vertex_session;

namespace {

// Shown in the "%s - <%s>" line of a variable that is not set.
constexpr const char* kUnsetValue = "(not set)";
constexpr const char* kSecretMask = "********";

struct EntrySlot {
  const char* name;
  void** slot;
};

// Resolves `entries` in order from `library`; logs the first missing one.
template <int N>
int resolve_entries(void* library, const EntrySlot (&entries)[N], char* err) {
  for (const EntrySlot& entry : entries) {
    void* address = sli_fun_sym(library, entry.name, err, VTX_ERR_SIZE);
    if (address == nullptr) {
      VTX_LOG("Missing function '%s' in DLL\n", entry.name);
      return VTX_OPEN_FAILED;
    }
    *entry.slot = address;
  }
  return VTX_OPEN_OK;
}

// A function pointer and an object pointer have the same representation on
// every platform that can dlopen; the slots are filled through void**.
#define VTX_ENTRY_SLOT(name) {#name, reinterpret_cast<void**>(&vertex_session.name##Add)},
const EntrySlot kTaxEntries[] = {VTX_TAX_ENTRY_POINTS(VTX_ENTRY_SLOT)};
const EntrySlot kLocEntries[] = {VTX_LOC_ENTRY_POINTS(VTX_ENTRY_SLOT)};
#undef VTX_ENTRY_SLOT
static_assert(sizeof kTaxEntries / sizeof kTaxEntries[0] == 20);
static_assert(sizeof kLocEntries / sizeof kLocEntries[0] == 12);

// The password is read like the others but never written anywhere: its line
// keeps its shape with a mask in place of the value.
const char* read_variable(const char* name, bool secret = false) {
  const char* value = std::getenv(name);
  const char* shown = value == nullptr ? kUnsetValue : secret ? kSecretMask : value;
  VTX_LOG("%s - <%s>\n", name, shown);
  return value;
}

const char* db_type_name(int type) {
  switch (type) {
    case eVstDbTypeLocation: return "eVstDbTypeLocation";
    case eVstDbTypeRate: return "eVstDbTypeRate";
    case eVstDbTypeRegister: return "eVstDbTypeRegister";
    case eVstDbTypeTDM: return "eVstDbTypeTDM";
  }
  return "";
}

// "<call> failed, returned eVstDbRetCd<Name>." into vtx_msg, logged.
void log_db_failure(const char* call, int type, int status, bool opening, int line) {
  const char* name = vertex_db_status_name(status);
  const char* spelled = name;
  // The TDM open's line has always spelled this status with a trailing "i";
  // readers of the log match on it.
  if (opening && type == eVstDbTypeTDM && status == eVstDbRetCdInvalidDataSource) {
    spelled = "InvalidDataSourcei";
  }
  if (name[0] != '\0') {
    std::snprintf(vertex_session.vtx_msg, sizeof vertex_session.vtx_msg, "%s(%s) failed, returned eVstDbRetCd%s.", call,
                  db_type_name(type), spelled);
  } else {
    std::snprintf(vertex_session.vtx_msg, sizeof vertex_session.vtx_msg, "%s(%s) failed, returned ", call,
                  db_type_name(type));
  }
  vertex_log_write(vertex_session.vertex_log_file, VERTEX_SRC, line, api_settings.username, "%s\n",
                   vertex_session.vtx_msg);
}

// "<call> failed, returned eLocDbRet<Name>." (at most 32 characters of the
// status) into vtx_msg, logged; a status without a name shows its number.
void log_loc_failure(const char* call, int status, int line) {
  const char* name = vertex_loc_status_name(status);
  if (name != nullptr) {
    char status_text[33];
    std::snprintf(status_text, sizeof status_text, "eLocDbRet%s.", name);
    std::snprintf(vertex_session.vtx_msg, sizeof vertex_session.vtx_msg, "%s failed, returned %s", call, status_text);
  } else {
    std::snprintf(vertex_session.vtx_msg, sizeof vertex_session.vtx_msg, "%s failed, returned unknown status %d.", call,
                  status);
  }
  vertex_log_write(vertex_session.vertex_log_file, VERTEX_SRC, line, api_settings.username, "%s\n",
                   vertex_session.vtx_msg);
}

// Loads library `name` into *slot, announced with `announce` and named `dll`
// in the outcome's line, and resolves its `entries`; false at the first failure.
template <int N>
bool load_library(const char* name, const char* announce, const char* dll, void** slot,
                  const EntrySlot (&entries)[N], char* err) {
  VTX_LOG("%s\n", announce);
  *slot = sli_open(name, nullptr, err, VTX_ERR_SIZE);
  if (*slot == nullptr) {
    VTX_LOG("Loading %s failed: %s\n", dll, err);
    return false;
  }
  VTX_LOG("Loading %s succeeded.\n", dll);
  return resolve_entries(*slot, entries, err) == VTX_OPEN_OK;
}

// A database source: required unless a user is named. False (with its line)
// when neither is set.
bool read_source(const char* name, const char** slot) {
  *slot = read_variable(name);
  if (*slot != nullptr || vertex_session.VertexUser != nullptr) return true;
  VTX_LOG("%s or VERTEXUSER not set.\n", name);
  return false;
}

constexpr const char* kNoConnection = "no connection";

// One step of the close: made only when its entry point was resolved, and
// skipped (saying so) without the handle it needs, so the engine never
// receives a null handle. `step` makes the call and logs a failure; a step
// that passed is logged here.
template <typename Step>
void close_step(const char* name, bool resolved, const void* handle, const char* missing, Step step) {
  if (!resolved) return;
  if (handle == nullptr) {
    VTX_LOG("%s skipped, %s.\n", name, missing);
    return;
  }
  if (step()) VTX_LOG("%s passed.\n", name);
}

// A release entry point's answer: 1 done; any other is logged as a failure.
bool released(const char* name, int answer) {
  if (answer == 1) return true;
  VTX_LOG("%s failed, returned FALSE.\n", name);
  return false;
}

bool session_holds_anything() {
  return vertex_session.vertex_log_file != nullptr || vertex_session.Vsthinst != nullptr ||
         vertex_session.Locationhinst != nullptr || vertex_session.pLocConn != nullptr ||
         vertex_session.pVstConnHdl != nullptr || vertex_session.pVstHdl != nullptr;
}

}  // namespace

int open_vertex_general(void) {
  // A repeated open (an init message) would otherwise leak the earlier
  // stream, libraries and engine handles.
  if (session_holds_anything()) close_vertex();
  vertex_session = VertexSession{};

  vertex_session.vertex_debug = vertex_int_of(std::getenv("VERTEXDEBUG"));
  if (api_settings.log_dir[0] != '\0') {  // no log directory: no log, never one at "/"
    char path[API_PATH_SIZE];
    std::snprintf(path, sizeof path, "%s/vertex.log", api_settings.log_dir);
    vertex_session.vertex_log_file = al_open_logfile(path, vertex_session.vertex_debug != 0 ? 1 : 0);
  }

  char err[VTX_ERR_SIZE] = {};
  if (!load_library("vst", "Loading vst.DLL.", "vst.DLL", &vertex_session.Vsthinst, kTaxEntries, err) ||
      !load_library("loc", "Loading loc shared library.", "location.DLL", &vertex_session.Locationhinst, kLocEntries,
                    err)) {
    return VTX_OPEN_FAILED;
  }

  VTX_LOG("Checking environment variables\n");
  vertex_session.VertexServer = read_variable("VERTEXSERVER");
  vertex_session.VertexTDM = read_variable("VERTEXTDM");
  vertex_session.VertexPwd = read_variable("VERTEXPWD", true);
  vertex_session.VertexUser = read_variable("VERTEXUSER");
  if (!read_source("VERTEXGEO", &vertex_session.VertexGeo) || !read_source("VERTEXRATE", &vertex_session.VertexRate) ||
      !read_source("VERTEXREG", &vertex_session.VertexReg)) {
    return VTX_OPEN_FAILED;
  }

  vertex_session.pLocConn = open_vertex_geo();
  vertex_session.pVstConnHdl = open_vertex_tax();
  vertex_session.pVstHdl = open_vertex_handle();
  vertex_session.opened = 1;
  return VTX_OPEN_OK;
}

LocConnHdl open_vertex_geo(void) {
  if (vertex_session.LocCreateConnHdlAdd == nullptr || vertex_session.LocOpenDbAdd == nullptr) return nullptr;
  LocConnHdl conn = vertex_session.LocCreateConnHdlAdd();
  if (conn != nullptr) {
    VTX_LOG("LocCreateConnHdl passed.\n");
  } else {
    VTX_LOG("LocCreateConnHdl failed, returned NULL.\n");
    // The engine is never handed a null connection.
    VTX_LOG("LocOpenDb skipped, no connection.\n");
    return nullptr;
  }
  const int status = vertex_session.LocOpenDbAdd(conn, vertex_session.VertexGeo, vertex_session.VertexServer,
                                                 vertex_session.VertexUser, vertex_session.VertexPwd, 0);
  if (status == eLocDbRetNone) {
    VTX_LOG("LocOpenDb passed.\n");
    return conn;
  }
  log_loc_failure("LocOpenDb()", status, __LINE__);
  return nullptr;
}

VstConnHdl open_vertex_tax(void) {
  if (vertex_session.VstCreateConnHdlAdd == nullptr || vertex_session.VstOpenDbAdd == nullptr) return nullptr;
  VstConnHdl conn = vertex_session.VstCreateConnHdlAdd();
  if (conn == nullptr) {
    VTX_LOG("VstCreateConnHdl failed, returned NULL.\n");
    return nullptr;
  }
  VTX_LOG("VstCreateConnHdl passed.\n");

  struct DbOpen {
    int type;
    const char* source;
    int mode;
  };
  const DbOpen opens[] = {
      {eVstDbTypeLocation, vertex_session.VertexGeo, 0},
      {eVstDbTypeRate, vertex_session.VertexRate, 0},
      {eVstDbTypeTDM, vertex_session.VertexTDM, 0},
      {eVstDbTypeRegister, vertex_session.VertexReg, 2},
  };
  for (const DbOpen& open : opens) {
    const int status =
        vertex_session.VstOpenDbAdd(conn, open.type, open.source, vertex_session.VertexServer,
                                    vertex_session.VertexUser, vertex_session.VertexPwd, open.mode, nullptr, nullptr);
    if (status != eVstDbRetCdNone) {
      log_db_failure("VstOpenDb", open.type, status, true, __LINE__);
      return nullptr;
    }
    VTX_LOG("VstOpenDb(%s) passed.\n", db_type_name(open.type));
  }
  return conn;
}

VstHdl open_vertex_handle(void) {
  if (vertex_session.VstCreateHdlAdd == nullptr) return nullptr;
  VstHdl hdl = vertex_session.VstCreateHdlAdd();
  if (hdl != nullptr) {
    VTX_LOG("VstCreateHdl passed.\n");
  } else {
    VTX_LOG("VstCreateHdl failed, returned NULL.\n");
  }
  return hdl;
}

int reset_vertex_handle(void) {
  if (vertex_session.VstResetHdlAdd != nullptr && vertex_session.pVstHdl != nullptr &&
      vertex_session.VstResetHdlAdd(vertex_session.pVstHdl) != 0) {
    VTX_LOG("VstResetHdl passed.\n");
    return 0;
  }
  VTX_LOG("VstResetHdl failed, returned FALSE.\n");
  return VTX_RESET_FAILED;
}

void close_vertex(void) {
  // Every step runs whatever the ones before gave.
  close_step("LocCloseDb", vertex_session.LocCloseDbAdd != nullptr, vertex_session.pLocConn, kNoConnection, [] {
    const int status = vertex_session.LocCloseDbAdd(vertex_session.pLocConn);
    if (status != eLocDbRetNone) log_loc_failure("LocCloseDb", status, __LINE__);
    return status == eLocDbRetNone;
  });
  close_step(
      "LocReleaseConnHdl", vertex_session.LocReleaseConnHdlAdd != nullptr, vertex_session.pLocConn, kNoConnection,
      [] { return released("LocReleaseConnHdl", vertex_session.LocReleaseConnHdlAdd(vertex_session.pLocConn)); });
  close_step("VstReleaseHdl", vertex_session.VstReleaseHdlAdd != nullptr, vertex_session.pVstHdl, "no handle",
             [] { return released("VstReleaseHdl", vertex_session.VstReleaseHdlAdd(vertex_session.pVstHdl)); });
  for (const int type : {eVstDbTypeRate, eVstDbTypeLocation, eVstDbTypeTDM, eVstDbTypeRegister}) {
    char name[64];
    std::snprintf(name, sizeof name, "VstCloseDb(%s)", db_type_name(type));
    close_step(name, vertex_session.VstCloseDbAdd != nullptr, vertex_session.pVstConnHdl, kNoConnection, [type] {
      const int status = vertex_session.VstCloseDbAdd(vertex_session.pVstConnHdl, type, nullptr, nullptr);
      if (status != eVstDbRetCdNone) log_db_failure("VstCloseDb", type, status, false, __LINE__);
      return status == eVstDbRetCdNone;
    });
  }
  close_step(
      "VstReleaseConnHdl", vertex_session.VstReleaseConnHdlAdd != nullptr, vertex_session.pVstConnHdl, kNoConnection,
      [] { return released("VstReleaseConnHdl", vertex_session.VstReleaseConnHdlAdd(vertex_session.pVstConnHdl)); });
  sli_close(vertex_session.Vsthinst);
  sli_close(vertex_session.Locationhinst);
  if (vertex_session.vertex_log_file != nullptr) std::fclose(vertex_session.vertex_log_file);
  // The entry points die with their libraries: nothing may call them now.
  vertex_session = VertexSession{};
}

bool vertex_loc_ready(void) {
  return vertex_session.pLocConn != nullptr && vertex_session.LocCreateFindContextAdd != nullptr &&
         vertex_session.LocSetNameCriteriaAdd != nullptr && vertex_session.LocGetLocationsAdd != nullptr &&
         vertex_session.LocGetGeoCodeAdd != nullptr && vertex_session.LocGetNameAdd != nullptr &&
         vertex_session.LocGetGeoCodeStringAdd != nullptr && vertex_session.LocReleaseAdd != nullptr &&
         vertex_session.LocDestroyFindContextAdd != nullptr;
}

bool vertex_tax_ready(void) {
  return vertex_session.pVstConnHdl != nullptr && vertex_session.pVstHdl != nullptr &&
         vertex_session.VstSetInvJurisAdd != nullptr && vertex_session.VstSetInvDetailAdd != nullptr &&
         vertex_session.VstSetLineDetailAdd != nullptr && vertex_session.VstSetLineProdAdd != nullptr &&
         vertex_session.VstSetLineLocalAdd != nullptr && vertex_session.VstDebugHdlAdd != nullptr &&
         vertex_session.VstCalcTaxAdd != nullptr && vertex_session.VstGetInvDetailAdd != nullptr &&
         vertex_session.VstGetLineDetailAdd != nullptr && vertex_session.VstGetLineProdAdd != nullptr &&
         vertex_session.VstGetLineLocalAdd != nullptr && vertex_session.VstGetLineLocalAddtlAdd != nullptr &&
         vertex_session.VstResetHdlAdd != nullptr;
}

bool vertex_ready(void) {
  if (vertex_session.opened == 0 || vertex_session.pLocConn == nullptr || vertex_session.pVstConnHdl == nullptr ||
      vertex_session.pVstHdl == nullptr) {
    return false;
  }
#define VTX_CHECK_ENTRY(name) \
  if (vertex_session.name##Add == nullptr) return false;
  VTX_TAX_ENTRY_POINTS(VTX_CHECK_ENTRY)
  VTX_LOC_ENTRY_POINTS(VTX_CHECK_ENTRY)
#undef VTX_CHECK_ENTRY
  return true;
}
