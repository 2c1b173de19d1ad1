// vtx_data_file: reading one data file of the stand-in engine.
//
// A data file is text: one record a line, fields separated by '|', '#'
// comment lines, a first record FORMAT|<kind>|1 and an optional
// AUTH|<user>|<password>. The reader checks those two and hands back the
// remaining records; the databases (vtx_geo_db, vtx_rate_db, vtx_tdm_db)
// give them meaning.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vtx {

using Record = std::vector<std::string>;

enum class DataStatus {
  kOk,
  kNoSource,     // neither a source nor a server to find the file in
  kUnreadable,   // the file cannot be opened or is too large
  kWrongKind,    // FORMAT names another kind of data
  kBadVersion,   // no FORMAT record, or another version
  kMalformed,    // a record the database does not understand
  kBadUser,      // AUTH present and the user differs
  kBadPassword,  // AUTH present and the password differs
};

// The file to read: `source` as it stands when absolute or when there is no
// server; relative to the server directory otherwise; the server directory's
// `default_name` when the source is null or empty. False when neither source
// nor server is given.
bool resolve_source(const char* source, const char* server,
                    const char* default_name, std::string* path);

// Reads `path`, checks FORMAT against `kind` and AUTH against user and
// password, and puts every other record into `records`.
DataStatus read_data_file(const std::string& path, std::string_view kind,
                          const char* user, const char* password,
                          std::vector<Record>* records);

}  // namespace vtx
