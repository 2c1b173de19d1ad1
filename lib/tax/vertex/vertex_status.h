// vertex_status: the names of the engine's database, location and
// calculation statuses as they appear in the Vertex log's failure lines.
#pragma once

// The returned texts are static. A database or calculation status without a
// name gives "" (its failure line then ends after "returned "); a location
// status without a name gives null, and the caller shows the number instead.

// "None", "InvalidDb", ... for a VstOpenDb / VstCloseDb status.
const char* vertex_db_status_name(int status);
// "InvalidDataSource", "DbExists", ... for a LocOpenDb / LocCloseDb status.
const char* vertex_loc_status_name(int status);
// "Mem", "InvalidShipTo", ... for a VstCalcTax failure status.
const char* vertex_calc_status_name(int status);
