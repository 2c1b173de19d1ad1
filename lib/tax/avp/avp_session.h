// avp_session: opening and closing the Taxware engine for the process.
//
// One TaxwareSession lives for the whole process and is never freed: the two
// libraries stay loaded and "avp.log" stays open until exit (a later open
// replaces the stream, closing the earlier one). Each open assigns the members
// in the order of its steps and stops at the first failure, leaving that
// member null and the members of later steps as they were.
#pragma once

#include <cstdio>

#include "avp_he.h"

struct TaxwareSession {
  FILE* avp_log_file = nullptr;  // "avp.log" in log_dir; owned here
  void* AvpTaxhinst = nullptr;   // the tax library
  void* AvpZiphinst = nullptr;   // the ZIP library
  AVPTAXOPEN_FN* AvpTaxOpenAdd = nullptr;
  AVPTAXCLOSE_FN* AvpTaxCloseAdd = nullptr;
  AVPTAXCMN_FN* AvpTaxCmnAdd = nullptr;
  AVPTAX_IO_ERR_FN* AvpTaxIOErrAdd = nullptr;
  ZIPOPEN_FN* ZipOpenAdd = nullptr;
  ZIPCLOSE_FN* ZipCloseAdd = nullptr;
  ZIP020_FN* ZIP020Add = nullptr;
  // 1 from a successful open_avp to the next open or close.
  int opened = 0;
};

extern TaxwareSession avp_session;

// The ten variables that must be set and non-empty before the engine opens.
extern const char* const avp_env_vars[10];

// Opens the log, loads both libraries, resolves the seven entry points,
// checks the environment and opens both engines. 0 open; 1 the log, a
// library, an entry point or an engine open failed; 2 a variable is missing.
int open_avp(void);
// Closes the ZIP engine, then the tax engine, calling only what was resolved
// and logging each outcome. Libraries and log stay as they are.
void close_avp(void);
// True when the last open succeeded, no close followed and every entry
// point is resolved: only then may a request reach the engine.
bool avp_ready(void);
