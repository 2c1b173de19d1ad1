#include "vertex_session.h"

#include <cstdlib>
#include <cstring>

#include "al_logfile.h"
#include "al_sli.h"
#include "api_log.h"
#include "vertex_log.h"
#include "vertex_number.h"
#include "vertex_status.h"

VertexSession vertex_session;

namespace {

VertexSession& s = vertex_session;

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
#define VTX_ENTRY_SLOT(name) {#name, reinterpret_cast<void**>(&s.name##Add)},
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
    std::snprintf(s.vtx_msg, sizeof s.vtx_msg, "%s(%s) failed, returned eVstDbRetCd%s.", call,
                  db_type_name(type), spelled);
  } else {
    std::snprintf(s.vtx_msg, sizeof s.vtx_msg, "%s(%s) failed, returned ", call,
                  db_type_name(type));
  }
  vertex_log_write(s.vertex_log_file, VERTEX_SRC, line, api_settings.username, "%s\n", s.vtx_msg);
}

// "<call> failed, returned eLocDbRet<Name>." (at most 32 characters of the
// status) into vtx_msg, logged; a status without a name shows its number.
void log_loc_failure(const char* call, int status, int line) {
  const char* name = vertex_loc_status_name(status);
  if (name != nullptr) {
    char status_text[33];
    std::snprintf(status_text, sizeof status_text, "eLocDbRet%s.", name);
    std::snprintf(s.vtx_msg, sizeof s.vtx_msg, "%s failed, returned %s", call, status_text);
  } else {
    std::snprintf(s.vtx_msg, sizeof s.vtx_msg, "%s failed, returned unknown status %d.", call,
                  status);
  }
  vertex_log_write(s.vertex_log_file, VERTEX_SRC, line, api_settings.username, "%s\n", s.vtx_msg);
}

bool session_holds_anything() {
  return s.vertex_log_file != nullptr || s.Vsthinst != nullptr || s.Locationhinst != nullptr ||
         s.pLocConn != nullptr || s.pVstConnHdl != nullptr || s.pVstHdl != nullptr;
}

}  // namespace

int open_vertex_general(void) {
  // A repeated open (an init message) would otherwise leak the earlier
  // stream, libraries and engine handles.
  if (session_holds_anything()) close_vertex();
  s = VertexSession{};

  s.vertex_debug = vertex_int_of(std::getenv("VERTEXDEBUG"));
  if (api_settings.log_dir[0] != '\0') {  // no log directory: no log, never one at "/"
    char path[API_PATH_SIZE];
    std::snprintf(path, sizeof path, "%s/vertex.log", api_settings.log_dir);
    s.vertex_log_file = al_open_logfile(path, s.vertex_debug != 0 ? 1 : 0);
  }

  char err[VTX_ERR_SIZE] = {};
  VTX_LOG("Loading vst.DLL.\n");
  s.Vsthinst = sli_open("vst", nullptr, err, sizeof err);
  if (s.Vsthinst == nullptr) {
    VTX_LOG("Loading vst.DLL failed: %s\n", err);
    return VTX_OPEN_FAILED;
  }
  VTX_LOG("Loading vst.DLL succeeded.\n");
  if (resolve_entries(s.Vsthinst, kTaxEntries, err) != VTX_OPEN_OK) return VTX_OPEN_FAILED;

  VTX_LOG("Loading loc shared library.\n");
  s.Locationhinst = sli_open("loc", nullptr, err, sizeof err);
  if (s.Locationhinst == nullptr) {
    VTX_LOG("Loading location.DLL failed: %s\n", err);
    return VTX_OPEN_FAILED;
  }
  VTX_LOG("Loading location.DLL succeeded.\n");
  if (resolve_entries(s.Locationhinst, kLocEntries, err) != VTX_OPEN_OK) return VTX_OPEN_FAILED;

  VTX_LOG("Checking environment variables\n");
  s.VertexServer = read_variable("VERTEXSERVER");
  s.VertexTDM = read_variable("VERTEXTDM");
  s.VertexPwd = read_variable("VERTEXPWD", true);
  s.VertexUser = read_variable("VERTEXUSER");
  s.VertexGeo = read_variable("VERTEXGEO");
  if (s.VertexGeo == nullptr && s.VertexUser == nullptr) {
    VTX_LOG("VERTEXGEO or VERTEXUSER not set.\n");
    return VTX_OPEN_FAILED;
  }
  s.VertexRate = read_variable("VERTEXRATE");
  if (s.VertexRate == nullptr && s.VertexUser == nullptr) {
    VTX_LOG("VERTEXRATE or VERTEXUSER not set.\n");
    return VTX_OPEN_FAILED;
  }
  s.VertexReg = read_variable("VERTEXREG");
  if (s.VertexReg == nullptr && s.VertexUser == nullptr) {
    VTX_LOG("VERTEXREG or VERTEXUSER not set.\n");
    return VTX_OPEN_FAILED;
  }

  s.pLocConn = open_vertex_geo();
  s.pVstConnHdl = open_vertex_tax();
  s.pVstHdl = open_vertex_handle();
  s.opened = 1;
  return VTX_OPEN_OK;
}

LocConnHdl open_vertex_geo(void) {
  if (s.LocCreateConnHdlAdd == nullptr || s.LocOpenDbAdd == nullptr) return nullptr;
  LocConnHdl conn = s.LocCreateConnHdlAdd();
  if (conn != nullptr) {
    VTX_LOG("LocCreateConnHdl passed.\n");
  } else {
    VTX_LOG("LocCreateConnHdl failed, returned NULL.\n");
    // The engine is never handed a null connection.
    VTX_LOG("LocOpenDb skipped, no connection.\n");
    return nullptr;
  }
  const int status =
      s.LocOpenDbAdd(conn, s.VertexGeo, s.VertexServer, s.VertexUser, s.VertexPwd, 0);
  if (status == eLocDbRetNone) {
    VTX_LOG("LocOpenDb passed.\n");
    return conn;
  }
  log_loc_failure("LocOpenDb()", status, __LINE__);
  return nullptr;
}

VstConnHdl open_vertex_tax(void) {
  if (s.VstCreateConnHdlAdd == nullptr || s.VstOpenDbAdd == nullptr) return nullptr;
  VstConnHdl conn = s.VstCreateConnHdlAdd();
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
      {eVstDbTypeLocation, s.VertexGeo, 0},
      {eVstDbTypeRate, s.VertexRate, 0},
      {eVstDbTypeTDM, s.VertexTDM, 0},
      {eVstDbTypeRegister, s.VertexReg, 2},
  };
  for (const DbOpen& open : opens) {
    const int status = s.VstOpenDbAdd(conn, open.type, open.source, s.VertexServer, s.VertexUser,
                                      s.VertexPwd, open.mode, nullptr, nullptr);
    if (status != eVstDbRetCdNone) {
      log_db_failure("VstOpenDb", open.type, status, true, __LINE__);
      return nullptr;
    }
    VTX_LOG("VstOpenDb(%s) passed.\n", db_type_name(open.type));
  }
  return conn;
}

VstHdl open_vertex_handle(void) {
  if (s.VstCreateHdlAdd == nullptr) return nullptr;
  VstHdl hdl = s.VstCreateHdlAdd();
  if (hdl != nullptr) {
    VTX_LOG("VstCreateHdl passed.\n");
  } else {
    VTX_LOG("VstCreateHdl failed, returned NULL.\n");
  }
  return hdl;
}

int reset_vertex_handle(void) {
  if (s.VstResetHdlAdd != nullptr && s.pVstHdl != nullptr && s.VstResetHdlAdd(s.pVstHdl) != 0) {
    VTX_LOG("VstResetHdl passed.\n");
    return 0;
  }
  VTX_LOG("VstResetHdl failed, returned FALSE.\n");
  return VTX_RESET_FAILED;
}

void close_vertex(void) {
  // Every step runs whatever the ones before gave; a step whose handle was
  // never made is skipped, so the engine never receives a null handle.
  if (s.LocCloseDbAdd != nullptr) {
    if (s.pLocConn == nullptr) {
      VTX_LOG("LocCloseDb skipped, no connection.\n");
    } else {
      const int status = s.LocCloseDbAdd(s.pLocConn);
      if (status == eLocDbRetNone) {
        VTX_LOG("LocCloseDb passed.\n");
      } else {
        log_loc_failure("LocCloseDb", status, __LINE__);
      }
    }
  }
  if (s.LocReleaseConnHdlAdd != nullptr) {
    if (s.pLocConn == nullptr) {
      VTX_LOG("LocReleaseConnHdl skipped, no connection.\n");
    } else if (s.LocReleaseConnHdlAdd(s.pLocConn) == 1) {
      VTX_LOG("LocReleaseConnHdl passed.\n");
    } else {
      VTX_LOG("LocReleaseConnHdl failed, returned FALSE.\n");
    }
  }
  if (s.VstReleaseHdlAdd != nullptr) {
    if (s.pVstHdl == nullptr) {
      VTX_LOG("VstReleaseHdl skipped, no handle.\n");
    } else if (s.VstReleaseHdlAdd(s.pVstHdl) == 1) {
      VTX_LOG("VstReleaseHdl passed.\n");
    } else {
      VTX_LOG("VstReleaseHdl failed, returned FALSE.\n");
    }
  }
  if (s.VstCloseDbAdd != nullptr) {
    const int types[] = {eVstDbTypeRate, eVstDbTypeLocation, eVstDbTypeTDM, eVstDbTypeRegister};
    for (int type : types) {
      if (s.pVstConnHdl == nullptr) {
        VTX_LOG("VstCloseDb(%s) skipped, no connection.\n", db_type_name(type));
        continue;
      }
      const int status = s.VstCloseDbAdd(s.pVstConnHdl, type, nullptr, nullptr);
      if (status == eVstDbRetCdNone) {
        VTX_LOG("VstCloseDb(%s) passed.\n", db_type_name(type));
      } else {
        log_db_failure("VstCloseDb", type, status, false, __LINE__);
      }
    }
  }
  if (s.VstReleaseConnHdlAdd != nullptr) {
    if (s.pVstConnHdl == nullptr) {
      VTX_LOG("VstReleaseConnHdl skipped, no connection.\n");
    } else if (s.VstReleaseConnHdlAdd(s.pVstConnHdl) == 1) {
      VTX_LOG("VstReleaseConnHdl passed.\n");
    } else {
      VTX_LOG("VstReleaseConnHdl failed, returned FALSE.\n");
    }
  }
  sli_close(s.Vsthinst);
  sli_close(s.Locationhinst);
  if (s.vertex_log_file != nullptr) std::fclose(s.vertex_log_file);
  // The entry points die with their libraries: nothing may call them now.
  s = VertexSession{};
}

int vertex_loc_ready(void) {
  return s.pLocConn != nullptr && s.LocCreateFindContextAdd != nullptr &&
         s.LocSetNameCriteriaAdd != nullptr && s.LocGetLocationsAdd != nullptr &&
         s.LocGetGeoCodeAdd != nullptr && s.LocGetNameAdd != nullptr &&
         s.LocGetGeoCodeStringAdd != nullptr && s.LocReleaseAdd != nullptr &&
         s.LocDestroyFindContextAdd != nullptr;
}

int vertex_tax_ready(void) {
  return s.pVstConnHdl != nullptr && s.pVstHdl != nullptr && s.VstSetInvJurisAdd != nullptr &&
         s.VstSetInvDetailAdd != nullptr && s.VstSetLineDetailAdd != nullptr &&
         s.VstSetLineProdAdd != nullptr && s.VstSetLineLocalAdd != nullptr &&
         s.VstDebugHdlAdd != nullptr && s.VstCalcTaxAdd != nullptr &&
         s.VstGetInvDetailAdd != nullptr && s.VstGetLineDetailAdd != nullptr &&
         s.VstGetLineProdAdd != nullptr && s.VstGetLineLocalAdd != nullptr &&
         s.VstGetLineLocalAddtlAdd != nullptr && s.VstResetHdlAdd != nullptr;
}

int vertex_ready(void) {
  if (s.opened == 0 || s.pLocConn == nullptr || s.pVstConnHdl == nullptr || s.pVstHdl == nullptr) {
    return 0;
  }
#define VTX_CHECK_ENTRY(name) \
  if (s.name##Add == nullptr) return 0;
  VTX_TAX_ENTRY_POINTS(VTX_CHECK_ENTRY)
  VTX_LOC_ENTRY_POINTS(VTX_CHECK_ENTRY)
#undef VTX_CHECK_ENTRY
  return 1;
}
