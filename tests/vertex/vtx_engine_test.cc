// The stand-in Vertex engine's data files and control file. Its entry points
// and calculation are checked through the end-to-end rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"
#include "vtx_control.h"
#include "vtx_data_file.h"
#include "vtx_geo_db.h"
#include "vtx_rate_db.h"
#include "vtx_tdm_db.h"

namespace {

// What becomes of a data file of `kind`: read, checked, and loaded by its
// database.
std::string outcome(const std::string& path, const std::string& kind, const char* user,
                    const char* password) {
  const char* const kStatus[] = {"", "no source", "unreadable", "wrong kind", "bad version",
                                 "malformed", "bad user", "bad password"};
  std::vector<vtx::Record> records;
  const vtx::DataStatus status = vtx::read_data_file(path, kind, user, password, &records);
  if (status != vtx::DataStatus::kOk) return kStatus[static_cast<int>(status)];
  const bool loaded = kind == "location" ? vtx::GeoDb().load(records)
                      : kind == "rate"   ? vtx::RateDb().load(records)
                                         : vtx::TdmDb().load(records);
  return loaded ? "loaded" : "refused";
}

TEST(VtxEngine, DataFiles) {
  const std::string geo = "FORMAT|location|1\nSTATE|11|BR|Brenmark\nCOUNTY|11001|Alder County\n";
  const std::string rate = "FORMAT|rate|1\nSTATE|11|0.05|D|D\n";
  const struct {
    const char* kind;
    std::string text;  // "<missing>": no file
    const char* user;
    const char* password;
    const char* outcome;
  } rows[] = {
      {"location", geo + "PLACE|110010100|Millbrook|61020 61021\n", nullptr, nullptr, "loaded"},
      {"location", "# comment\n\n  FORMAT | location | 1 \r\n", nullptr, nullptr, "loaded"},
      {"location", "<missing>", nullptr, nullptr, "unreadable"},
      {"location", rate, nullptr, nullptr, "wrong kind"},
      {"location", "STATE|11|BR|Brenmark\n", nullptr, nullptr, "bad version"},
      {"location", geo + "PLACE|110020100|no county|61000\n", nullptr, nullptr, "refused"},
      {"location", geo + "PLACE|110010100|zip too long|12345678901\n", nullptr, nullptr, "refused"},
      {"rate", rate + "AUTH|bob|pw\n", "bob", "pw", "loaded"},
      {"rate", rate + "AUTH|bob|pw\n", "eve", "pw", "bad user"},
      {"rate", rate + "AUTH|bob|pw\n", "bob", "nope", "bad password"},
      {"rate", rate + "AUTH|bob\n", "bob", "pw", "malformed"},
      {"rate", rate + "CITY|110010100|\nDISTRICT|110010100|0.0025|CITY\n", nullptr, nullptr, "loaded"},
      {"rate", rate + "STATE|23|1.5|D|D\n", nullptr, nullptr, "refused"},
      {"rate", rate + "ADDTL|110010100|TOWN|0.01\n", nullptr, nullptr, "refused"},
      {"tdm", "FORMAT|tdm|1\nPRODUCT|FOOD-01|HV|0.5\nCUSTOMER|GOV-HV|HV|EXEMPT\n", nullptr, nullptr, "loaded"},
      {"tdm", "FORMAT|tdm|1\nPRODUCT|FOOD-01|HV|1.5\n", nullptr, nullptr, "refused"},
  };
  test_util::TempDir dir("vtx_data_");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    const std::string path = row.text == "<missing>" ? dir.at("missing") : dir.write("f.dat", row.text);
    EXPECT_EQ(outcome(path, row.kind, row.user, row.password), row.outcome);
  }
}

// The value the control text gives entry(selector).field, as text.
std::string control_value(const std::string& text, const char* entry, long long selector,
                          const char* field) {
  const vtx::Control control = vtx::Control::parse(text);
  const vtx::ControlValue* v = control.find(entry, selector, field);
  if (v == nullptr) return "none";
  switch (v->kind) {
    case vtx::ControlValue::kInt: return "int " + std::to_string(v->i);
    case vtx::ControlValue::kReal: return "real " + std::to_string(v->d);
    case vtx::ControlValue::kText: return "text <" + v->text + ">";
    case vtx::ControlValue::kNull: return "null";
  }
  return "?";
}

TEST(VtxEngine, ControlFile) {
  constexpr long long kNone = vtx::Control::kNoSelector;
  const struct {
    const char* text;
    const char* entry;
    long long selector;
    const char* field;
    const char* value;
  } rows[] = {
      {"VstOpenDb = 5\nVstOpenDb(1) = 4  # rate", "VstOpenDb", 1, "", "int 4"},
      {"VstOpenDb = 5\nVstOpenDb(1) = 4", "VstOpenDb", 0, "", "int 5"},
      {"VstOpenDb(1) = 4", "VstOpenDb", kNone, "", "none"},
      {"LocRelease = 0\nLocRelease = 1", "LocRelease", kNone, "", "int 1"},
      {"VstGetLineDetail.amount = 100.5", "VstGetLineDetail", kNone, "amount", "real 100.500000"},
      {"VstGetLineLocal(0).status = 22", "VstGetLineLocal", 0, "status", "int 22"},
      {"VstGetLineLocal(0).status = 22", "VstGetLineLocal", 2, "status", "none"},
      {"VstGetInvDetail.invoice = \"INV-1  \"  # kept", "VstGetInvDetail", kNone, "invoice", "text <INV-1  >"},
      {"VstGetInvDetail.company = \"a\\\"b\\\\c\"", "VstGetInvDetail", kNone, "company", "text <a\"b\\c>"},
      {"LocCreateConnHdl = null", "LocCreateConnHdl", kNone, "", "null"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(control_value(row.text, row.entry, row.selector, row.field), row.value);
  }
}

}  // namespace
