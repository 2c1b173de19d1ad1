#include "vtx_data_file.h"

#include <gtest/gtest.h>

#include "vtx_engine_test_util.h"

namespace {

using vtx::DataStatus;
using vtx_test::TempDir;

TEST(VtxDataFile, ResolveSource) {
  struct Case {
    const char* source;
    const char* server;
    bool ok;
    const char* path;
  } cases[] = {
      {"/abs/geo.dat", "/srv", true, "/abs/geo.dat"},
      {"geo.dat", "/srv", true, "/srv/geo.dat"},
      {"geo.dat", "/srv/", true, "/srv/geo.dat"},
      {"geo.dat", nullptr, true, "geo.dat"},
      {"geo.dat", "", true, "geo.dat"},
      {nullptr, "/srv", true, "/srv/default.dat"},
      {"", "/srv", true, "/srv/default.dat"},
      {nullptr, nullptr, false, ""},
      {"", "", false, ""},
  };
  for (const Case& c : cases) {
    std::string path;
    EXPECT_EQ(vtx::resolve_source(c.source, c.server, "default.dat", &path), c.ok)
        << (c.source ? c.source : "(null)");
    if (c.ok) {
      EXPECT_EQ(path, c.path);
    }
  }
}

TEST(VtxDataFile, StatusOfEveryKindOfFile) {
  TempDir dir;
  struct Case {
    const char* text;
    const char* user;
    const char* password;
    DataStatus status;
  } cases[] = {
      {"FORMAT|rate|1\nSTATE|11|0.05|D|D\n", nullptr, nullptr, DataStatus::kOk},
      {"# comment\n\n  FORMAT | rate | 1  \n", nullptr, nullptr, DataStatus::kOk},
      {"FORMAT|location|1\n", nullptr, nullptr, DataStatus::kWrongKind},
      {"FORMAT|rate|2\n", nullptr, nullptr, DataStatus::kBadVersion},
      {"STATE|11|0.05|D|D\n", nullptr, nullptr, DataStatus::kBadVersion},
      {"", nullptr, nullptr, DataStatus::kBadVersion},
      {"FORMAT|rate|1\nAUTH|bob|pw\n", "bob", "pw", DataStatus::kOk},
      {"FORMAT|rate|1\nAUTH|bob|pw\n", "eve", "pw", DataStatus::kBadUser},
      {"FORMAT|rate|1\nAUTH|bob|pw\n", "bob", "nope", DataStatus::kBadPassword},
      {"FORMAT|rate|1\nAUTH|bob|pw\n", nullptr, nullptr, DataStatus::kBadUser},
      {"FORMAT|rate|1\nAUTH|bob\n", "bob", "pw", DataStatus::kMalformed},
      {"FORMAT|rate|1\nAUTH|a|b\nAUTH|a|b\n", "a", "b", DataStatus::kMalformed},
  };
  for (const Case& c : cases) {
    std::vector<vtx::Record> records;
    std::string path = dir.write("f.dat", c.text);
    EXPECT_EQ(vtx::read_data_file(path, "rate", c.user, c.password, &records), c.status)
        << c.text;
  }
  std::vector<vtx::Record> records;
  EXPECT_EQ(vtx::read_data_file(dir.file("missing"), "rate", nullptr, nullptr, &records),
            DataStatus::kUnreadable);
  EXPECT_EQ(vtx::read_data_file(dir.path(), "rate", nullptr, nullptr, &records),
            DataStatus::kUnreadable);
}

TEST(VtxDataFile, RecordsAreSplitAndTrimmed) {
  TempDir dir;
  std::vector<vtx::Record> records;
  std::string path = dir.write("f.dat", "FORMAT|rate|1\r\n CITY | 110010100 |0.01 \r\n#x\n");
  ASSERT_EQ(vtx::read_data_file(path, "rate", nullptr, nullptr, &records), DataStatus::kOk);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], (vtx::Record{"CITY", "110010100", "0.01"}));
}

}  // namespace
