// avp_data_file: reading the stand-in engines' line-oriented data files.
//
// Every data file (ZIP master, rates, exemptions, control) is text, one
// record a line; blank lines and lines whose first character is '#' are
// skipped. The file kinds differ only in how a record parses, so reading the
// file, walking its records and naming the line of a bad one live here.
// Nothing here keeps state: results go to the caller's objects.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace avp_standin {

// Reads a whole data file of at most 16 MiB into *text; false with a reason
// when it is missing, not a regular file, unreadable or too big.
bool read_data_file(const std::string& path, std::string* text, std::string* error);

// Reads the file at `path` and parses its text with `parse`. A read failure
// is reported as read_data_file gives it; a parse failure is prefixed with
// the path, so the one line in *error says which file is wrong.
bool load_data_file(const std::string& path,
                    const std::function<bool(const std::string& text, std::string* error)>& parse,
                    std::string* error);

// Calls `visit` with each record line of `text` (trimmed) and its 1-based
// number among all lines, skipped ones included, until `visit` returns false.
// Returns false when it was stopped.
bool for_each_data_line(std::string_view text,
                        const std::function<bool(std::string_view line, int number)>& visit);

// Parses every record line of `text` with parse_row(line, &row, &why) and
// appends the rows to *rows. The first row that does not parse stops it:
// false with "line <n>: <why>" in *error; *rows then holds the rows before it.
template <class Row, class ParseRow>
bool parse_data_rows(std::string_view text, ParseRow&& parse_row, std::vector<Row>* rows,
                     std::string* error) {
  return for_each_data_line(text, [&](std::string_view line, int number) {
    Row row;
    std::string why;
    if (!parse_row(std::string(line), &row, &why)) {
      *error = "line " + std::to_string(number) + ": " + why;
      return false;
    }
    rows->push_back(std::move(row));
    return true;
  });
}

}  // namespace avp_standin
