// vertex_codes: the Vertex engine's statuses and the determination's results
// - the names the statuses have in the Vertex log's failure lines, and the
// error reply's code of every result that is a failure.
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

// The error reply's code of a tax determination's result other than 0:
// 1600 + result x 0.0001 for a jurisdiction stop (1, 10, 11, 100, 101,
// 111), 1500 + result for any other.
double vertex_tax_error_number(int result);
