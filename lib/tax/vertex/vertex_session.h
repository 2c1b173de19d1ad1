// vertex_session: the process-wide Vertex engine session.
//
// One VertexSession lives for the whole process (vertex_session). The open
// loads the tax library "vst" and the location library "loc", resolves the 32
// entry points into the <name>Add members, reads the engine's environment and
// makes the location connection, the tax connection and the calculation
// handle; close_vertex releases all of that again and returns the session to
// its initial, all-null state. The engine owns the handles; the session only
// carries them between the open, the requests and the close.
//
// The environment texts point into the process environment (not copied) and
// are valid until the variable is changed.
#pragma once

#include <cstdio>

#include "vtx_he.h"

// The 32 entry points in the order in which they are resolved: first the
// tax library's, then the location library's.
#define VTX_TAX_ENTRY_POINTS(X) \
  X(VstOpenDb)                  \
  X(VstCreateConnHdl)           \
  X(VstCalcTax)                 \
  X(VstCreateHdl)               \
  X(VstDebugHdl)                \
  X(VstReleaseConnHdl)          \
  X(VstCloseDb)                 \
  X(VstReleaseHdl)              \
  X(VstResetHdl)                \
  X(VstGetDatabaseConnHdl)      \
  X(VstGetInvDetail)            \
  X(VstGetLineDetail)           \
  X(VstGetLineProd)             \
  X(VstGetLineLocal)            \
  X(VstGetLineLocalAddtl)       \
  X(VstSetLineLocal)            \
  X(VstSetInvJuris)             \
  X(VstSetInvDetail)            \
  X(VstSetLineProd)             \
  X(VstSetLineDetail)

#define VTX_LOC_ENTRY_POINTS(X) \
  X(LocCreateConnHdl)           \
  X(LocReleaseConnHdl)          \
  X(LocOpenDb)                  \
  X(LocCloseDb)                 \
  X(LocDestroyFindContext)      \
  X(LocRelease)                 \
  X(LocGetGeoCodeString)        \
  X(LocGetName)                 \
  X(LocGetGeoCode)              \
  X(LocGetLocations)            \
  X(LocSetNameCriteria)         \
  X(LocCreateFindContext)

constexpr int VTX_MSG_SIZE = 256;
constexpr int VTX_ERR_SIZE = 1024;  // loader error texts
constexpr int VTX_OPEN_OK = 0;
constexpr int VTX_OPEN_FAILED = 1;
constexpr int VTX_RESET_FAILED = 36;  // result of a failed handle reset

struct VertexSession {
  FILE* vertex_log_file = nullptr;  // "vertex.log"; null when not open
  int vertex_debug = 0;             // "VERTEXDEBUG": non-zero logs to the file
  void* Vsthinst = nullptr;         // library "vst"
  void* Locationhinst = nullptr;    // library "loc"

#define VTX_DECLARE_ENTRY(name) name##_fn* name##Add = nullptr;
  VTX_TAX_ENTRY_POINTS(VTX_DECLARE_ENTRY)
  VTX_LOC_ENTRY_POINTS(VTX_DECLARE_ENTRY)
#undef VTX_DECLARE_ENTRY

  const char* VertexServer = nullptr;
  const char* VertexTDM = nullptr;
  const char* VertexPwd = nullptr;
  const char* VertexUser = nullptr;
  const char* VertexGeo = nullptr;
  const char* VertexRate = nullptr;
  const char* VertexReg = nullptr;

  LocConnHdl pLocConn = nullptr;      // null when the location open failed
  VstConnHdl pVstConnHdl = nullptr;   // null when the tax open failed
  VstHdl pVstHdl = nullptr;           // null when the handle open failed
  char vtx_msg[VTX_MSG_SIZE] = {};    // failure lines are composed here

  int opened = 0;  // the last open_vertex_general returned 0
};

extern VertexSession vertex_session;

// Opens the session: 0 open, 1 a library, an entry point or a required
// variable is missing. The three engine opens may fail without changing the
// result; their members stay null then and vertex_ready() says no. A session
// that holds anything from an earlier open is closed first.
int open_vertex_general(void);
// The three engine opens; each returns its handle or null.
LocConnHdl open_vertex_geo(void);
VstConnHdl open_vertex_tax(void);
VstHdl open_vertex_handle(void);
// VstResetHdl on the calculation handle: 0 done, 36 failed (or no handle).
int reset_vertex_handle(void);
// Runs every close step whose entry point was resolved and whose handle
// exists, unloads both libraries, closes the log and clears the session.
void close_vertex(void);

// True when every location entry point the address lookup calls is
// resolved and the location connection exists.
bool vertex_loc_ready(void);
// True when every tax entry point the determination calls is resolved
// and both the tax connection and the calculation handle exist.
bool vertex_tax_ready(void);
// True when the last open succeeded, all 32 entry points are resolved
// and the three engine handles exist.
bool vertex_ready(void);
