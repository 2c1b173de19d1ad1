// api_main: the process's start-up from its command line.
#pragma once

// Runs the process: options (-u, -v, -dt, -dv) or server mode
// (inq outq ptype stype). Returns only the status of an option that ends at
// once; every other path ends through exit().
int api_main(int argc, char** argv);

// Writes the usage text for `program` (argument 0) to standard output.
void api_print_usage(const char* program);
