#include "vtx_data_file.h"

#include <random>

#include <gtest/gtest.h>

#include "vtx_geo_db.h"
#include "vtx_rate_db.h"
#include "vtx_tdm_db.h"

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
  EXPECT_EQ(vtx::read_data_file(dir.at("missing"), "rate", nullptr, nullptr, &records),
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

namespace {

// Sample files with bytes flipped, cut or duplicated (fixed seed): each is
// either refused or loaded, never a crash (the sanitizer build watches the
// bounds).
TEST(VtxDataFile, MutatedSampleFilesNeverCrash) {
  TempDir dir;
  std::mt19937 rng(20261206);
  const char* files[][2] = {{"location.dat", "location"}, {"rate.dat", "rate"}, {"tdm.dat", "tdm"}};
  int loaded = 0, refused = 0;
  for (const auto& f : files) {
    const std::string original = vtx_test::read_file(vtx_test::sample(f[0]));
    ASSERT_FALSE(original.empty());
    for (int round = 0; round < 100; ++round) {
      std::string text = original;
      int edits = 1 + static_cast<int>(rng() % 4);
      for (int k = 0; k < edits && !text.empty(); ++k) {
        std::size_t at = rng() % text.size();
        switch (rng() % 4) {
          case 0: text[at] = static_cast<char>(rng() % 256); break;
          case 1: text.erase(at, rng() % 40); break;
          case 2: text.insert(at, text.substr(at, rng() % 60)); break;
          default: text[at] = "|\n#* 0."[rng() % 7]; break;
        }
      }
      std::vector<vtx::Record> records;
      std::string path = dir.write("m.dat", text);
      if (vtx::read_data_file(path, f[1], nullptr, nullptr, &records) != DataStatus::kOk) {
        ++refused;
        continue;
      }
      bool ok = std::string(f[1]) == "location" ? vtx::GeoDb().load(records)
                : std::string(f[1]) == "rate"   ? vtx::RateDb().load(records)
                                                : vtx::TdmDb().load(records);
      ++(ok ? loaded : refused);
    }
  }
  // Both outcomes occur, so the mutations reach the parsers.
  EXPECT_GT(loaded, 0);
  EXPECT_GT(refused, 0);
}

}  // namespace
