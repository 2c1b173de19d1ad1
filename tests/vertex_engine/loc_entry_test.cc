// The location library loaded with dlopen, called as the process calls it.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vtx_engine_test_util.h"

namespace {

using vtx_test::ControlScope;
using vtx_test::Engine;
using vtx_test::TempDir;
using vtx_test::sample;

struct Found {
  std::string city, state, county, geo;
};

// A location connection on the sample data, and the lookup as the process
// runs it: batches of 75 until none are left.
class LocEntry : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(e.LocCreateConnHdl, nullptr) << dlerror();
    conn = e.LocCreateConnHdl();
    ASSERT_NE(conn, nullptr);
    ASSERT_EQ(e.LocOpenDb(conn, sample("location.dat").c_str(), nullptr, "u", "p", 0), 0);
  }
  void TearDown() override {
    EXPECT_EQ(e.LocCloseDb(conn), 0);
    EXPECT_EQ(e.LocReleaseConnHdl(conn), 1);
  }

  // Every batch's locations; false when a call failed.
  bool lookup(const char* state, const char* city, const char* zip,
              std::vector<std::vector<Found>>* batches, int city_flag = 1) {
    LocFindCtx ctx = e.LocCreateFindContext(conn);
    if (ctx == nullptr) return false;
    if (e.LocSetNameCriteria(ctx, 2, 0, state, 0, 0, 0, city_flag, city, 0, zip) == 0) {
      e.LocDestroyFindContext(ctx);
      return false;
    }
    for (;;) {
      LocHdl locs[VTX_MAX_LOCATIONS];
      int more = -1;
      int n = e.LocGetLocations(ctx, locs, VTX_MAX_LOCATIONS, &more);
      if (n == 0) {
        EXPECT_EQ(more, 0);
        break;
      }
      EXPECT_LE(n, VTX_MAX_LOCATIONS);
      std::vector<Found> batch;
      for (int i = 0; i < n; ++i) {
        char city_buf[26] = {}, state_buf[3] = {}, county_buf[21] = {}, geo_buf[11] = {};
        e.LocGetGeoCode(locs[i]);
        EXPECT_EQ(e.LocGetName(locs[i], 2, 1, city_buf, 25), 1);
        EXPECT_EQ(e.LocGetName(locs[i], 0, 0, state_buf, 2), 1);
        EXPECT_EQ(e.LocGetName(locs[i], 1, 1, county_buf, 20), 1);
        EXPECT_EQ(e.LocGetGeoCodeString(locs[i], geo_buf, 0, 0, 0), 1);
        batch.push_back({city_buf, state_buf, county_buf, geo_buf});
      }
      batches->push_back(batch);
      if (e.LocRelease(locs, n) != 1) {
        e.LocDestroyFindContext(ctx);
        return false;
      }
    }
    return e.LocDestroyFindContext(ctx) == 1;
  }

  const Engine& e = Engine::get();
  LocConnHdl conn = nullptr;
};

TEST_F(LocEntry, CandidatesByStateCityAndZip) {
  struct Case {
    const char* state;
    const char* city;
    const char* zip;
    std::vector<std::string> geos;
  } cases[] = {
      {"BR", "Millbrook", "", {"110010100", "110010000", "110030200"}},
      {"BR", "Millbrook", "61020", {"110010100", "110010000"}},
      {"", "", "83120", {"230130200"}},
      {"hv", "halvern city", "", {"230110100"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.state) + "/" + c.city + "/" + c.zip);
    std::vector<std::vector<Found>> b;
    ASSERT_TRUE(lookup(c.state, c.city, c.zip, &b));
    ASSERT_EQ(b.size(), 1u);
    std::vector<std::string> geos;
    for (const Found& f : b[0]) geos.push_back(f.geo);
    EXPECT_EQ(geos, c.geos);
    if (c.geos.size() == 3) {
      EXPECT_EQ(b[0][0].city, "Millbrook");
      EXPECT_EQ(b[0][0].state, "BR");
      EXPECT_EQ(b[0][0].county, "Alder County");
      EXPECT_EQ(b[0][2].county, "Harrow County");
    }
  }
}

TEST_F(LocEntry, NoMatchAndRefusedCriteria) {
  std::vector<std::vector<Found>> b;
  ASSERT_TRUE(lookup("BR", "Atlantis", "", &b));
  EXPECT_TRUE(b.empty());
  EXPECT_FALSE(lookup("", "", "", &b));
  LocFindCtx ctx = e.LocCreateFindContext(conn);
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(e.LocSetNameCriteria(ctx, 1, 0, "BR", 0, 0, 0, 1, "Millbrook", 0, ""), 0);
  EXPECT_EQ(e.LocSetNameCriteria(ctx, 2, 0, nullptr, 0, 0, 0, 1, nullptr, 0, "61020"), 1);
  // Before criteria, or with a foreign context, nothing is found.
  LocFindCtx fresh = e.LocCreateFindContext(conn);
  LocHdl locs[VTX_MAX_LOCATIONS];
  int more = 0;
  EXPECT_EQ(e.LocGetLocations(fresh, locs, VTX_MAX_LOCATIONS, &more), 0);
  EXPECT_EQ(e.LocDestroyFindContext(fresh), 1);
  EXPECT_EQ(e.LocDestroyFindContext(fresh), 0);
  EXPECT_EQ(e.LocDestroyFindContext(ctx), 1);
}

TEST_F(LocEntry, MoreThan75MatchesComeInBatches) {
  std::vector<std::vector<Found>> b;
  ASSERT_TRUE(lookup("BR", "", "", &b));
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0].size(), 75u);
  EXPECT_EQ(b[1].size(), 83u - 75u);
  EXPECT_EQ(b[1].back().state, "BR");
}

TEST_F(LocEntry, NamesHonourFlagAndCapacity) {
  LocFindCtx ctx = e.LocCreateFindContext(conn);
  ASSERT_EQ(e.LocSetNameCriteria(ctx, 2, 0, "HV", 0, 0, 0, 1, "Halvern City", 0, ""), 1);
  LocHdl loc[VTX_MAX_LOCATIONS];
  int more = 0;
  ASSERT_EQ(e.LocGetLocations(ctx, loc, VTX_MAX_LOCATIONS, &more), 1);
  char buf[32];
  struct Case {
    int level, flag, capacity;
    const char* want;
  } cases[] = {
      {0, 0, 2, "HV"},          {0, 1, 15, "Halvern"},   {1, 1, 15, "Corran County"},
      {1, 0, 15, "CORRAN COUNTY"}, {2, 1, 15, "Halvern City"}, {2, 1, 4, "Halv"},
      {2, 0, 0, ""},
  };
  for (const Case& c : cases) {
    std::memset(buf, 'x', sizeof buf);
    ASSERT_EQ(e.LocGetName(loc[0], c.level, c.flag, buf, c.capacity), 1);
    EXPECT_STREQ(buf, c.want);
    EXPECT_EQ(buf[c.capacity + 1], 'x') << "wrote past capacity + terminator";
  }
  EXPECT_EQ(e.LocGetName(loc[0], 3, 0, buf, 10), 0);
  EXPECT_EQ(e.LocGetName(loc[0], 2, 0, buf, -1), 0);
  EXPECT_EQ(e.LocGetName(loc[0], 2, 0, nullptr, 10), 0);
  EXPECT_EQ(e.LocRelease(loc, 1), 1);
  // A released location is no location any more.
  EXPECT_EQ(e.LocGetName(loc[0], 2, 1, buf, 10), 0);
  EXPECT_EQ(e.LocGetGeoCodeString(loc[0], buf, 0, 0, 0), 0);
  EXPECT_EQ(e.LocRelease(loc, 1), 0);
  EXPECT_EQ(e.LocDestroyFindContext(ctx), 1);
}

TEST_F(LocEntry, ForeignAndNullHandlesNeverCrash) {
  int local = 0;
  char buf[32] = {};
  for (void* h : {static_cast<void*>(&local), static_cast<void*>(nullptr)}) {
    LocHdl arr[2] = {h, nullptr};
    int more = 7;
    EXPECT_EQ(e.LocOpenDb(h, sample("location.dat").c_str(), nullptr, "", "", 0), 112);
    EXPECT_EQ(e.LocCloseDb(h), 112);
    EXPECT_EQ(e.LocReleaseConnHdl(h), 0);
    EXPECT_EQ(e.LocCreateFindContext(h), nullptr);
    EXPECT_EQ(e.LocSetNameCriteria(h, 2, 0, "BR", 0, 0, 0, 1, "", 0, ""), 0);
    EXPECT_EQ(e.LocGetLocations(h, arr, 2, &more), 0);
    EXPECT_EQ(more, 0);
    EXPECT_EQ(e.LocDestroyFindContext(h), 0);
    EXPECT_EQ(e.LocRelease(arr, 2), 0);
    EXPECT_EQ(e.LocGetName(h, 0, 0, buf, 2), 0);
    EXPECT_EQ(e.LocGetGeoCodeString(h, buf, 0, 0, 0), 0);
    e.LocGetGeoCode(h);
  }
  EXPECT_EQ(local, 0) << "nothing written through a foreign handle";
  EXPECT_EQ(e.LocGetLocations(nullptr, nullptr, 75, nullptr), 0);
  EXPECT_EQ(e.LocRelease(nullptr, 3), 0);
  EXPECT_EQ(e.LocRelease(nullptr, 0), 1);
  LocHdl arr[1] = {nullptr};
  EXPECT_EQ(e.LocRelease(arr, -1), 0);
}

TEST_F(LocEntry, ContextOutlivesTheClosedDatabase) {
  LocConnHdl c2 = e.LocCreateConnHdl();
  ASSERT_EQ(e.LocOpenDb(c2, sample("location.dat").c_str(), nullptr, "", "", 0), 0);
  LocFindCtx ctx = e.LocCreateFindContext(c2);
  ASSERT_EQ(e.LocSetNameCriteria(ctx, 2, 0, "TQ", 0, 0, 0, 1, "", 0, ""), 1);
  EXPECT_EQ(e.LocCloseDb(c2), 0);
  EXPECT_EQ(e.LocReleaseConnHdl(c2), 1);
  LocHdl loc[VTX_MAX_LOCATIONS];
  int more = 0;
  int n = e.LocGetLocations(ctx, loc, VTX_MAX_LOCATIONS, &more);
  ASSERT_EQ(n, 5);
  char name[26] = {};
  EXPECT_EQ(e.LocGetName(loc[0], 2, 1, name, 25), 1);
  EXPECT_STREQ(name, "Port Tarquay");
  EXPECT_EQ(e.LocRelease(loc, n), 1);
  EXPECT_EQ(e.LocDestroyFindContext(ctx), 1);
  // A closed connection makes no new searches.
  EXPECT_EQ(e.LocCreateFindContext(c2), nullptr);
}

TEST(LocOpen, StatusOfEverySource) {
  const Engine& e = Engine::get();
  TempDir dir;
  struct Case {
    const char* what;
    std::string source;
    const char* server;
    int mode, status;
    const char* user = "";
    const char* password = "";
  } cases[] = {
      {"sample", sample("location.dat"), nullptr, 0, 0},
      {"relative to server", "location.dat", VTX_SAMPLE_DATA_DIR, 0, 0},
      {"default name in server", "", VTX_SAMPLE_DATA_DIR, 0, 0},
      {"missing file", dir.at("missing.dat"), nullptr, 0, 1},
      {"no source, no server", "", nullptr, 0, 1},
      {"update mode", sample("location.dat"), nullptr, 1, 110},
      {"rate file", sample("rate.dat"), nullptr, 0, 108},
      {"version 2", dir.write("v2", "FORMAT|location|2\n"), nullptr, 0, 108},
      {"malformed", dir.write("bad", "FORMAT|location|1\nPLACE|x\n"), nullptr, 0, 112},
      {"auth ok", dir.write("auth", "FORMAT|location|1\nAUTH|amy|pw\n"), nullptr, 0, 0, "amy",
       "pw"},
      {"auth bad", dir.at("auth"), nullptr, 0, 103, "amy", "no"},
      {"binary junk", dir.write("junk", std::string("\0\xff\n|||\n", 7)), nullptr, 0, 108},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LocConnHdl conn = e.LocCreateConnHdl();
    const char* source = c.source.empty() ? nullptr : c.source.c_str();
    EXPECT_EQ(e.LocOpenDb(conn, source, c.server, c.user, c.password, c.mode), c.status);
    EXPECT_EQ(e.LocCloseDb(conn), c.status == 0 ? 0 : 112);
    EXPECT_EQ(e.LocReleaseConnHdl(conn), 1);
  }
  LocConnHdl conn = e.LocCreateConnHdl();
  ASSERT_EQ(e.LocOpenDb(conn, sample("location.dat").c_str(), nullptr, "", "", 0), 0);
  EXPECT_EQ(e.LocOpenDb(conn, sample("location.dat").c_str(), nullptr, "", "", 0), 100);
  EXPECT_EQ(e.LocCloseDb(conn), 0);
  EXPECT_EQ(e.LocReleaseConnHdl(conn), 1);
  EXPECT_EQ(e.LocReleaseConnHdl(conn), 0);
}

TEST(LocControl, ForcedResultsAndNulls) {
  const Engine& e = Engine::get();
  ControlScope control("LocCreateConnHdl = null\n");
  EXPECT_EQ(e.LocCreateConnHdl(), nullptr);
  control.set("LocOpenDb = 106\n");
  LocConnHdl conn = e.LocCreateConnHdl();
  ASSERT_NE(conn, nullptr);
  EXPECT_EQ(e.LocOpenDb(conn, sample("location.dat").c_str(), nullptr, "", "", 0), 106);
  // A forced failure leaves the database closed.
  EXPECT_EQ(e.LocCreateFindContext(conn), nullptr);
  control.set("LocCloseDb = 5\nLocReleaseConnHdl = 0\n");
  EXPECT_EQ(e.LocCloseDb(conn), 5);
  EXPECT_EQ(e.LocReleaseConnHdl(conn), 0);
  control.set("");
  // The forced answers come after the work: the connection is gone.
  EXPECT_EQ(e.LocReleaseConnHdl(conn), 0);
}

TEST_F(LocEntry, ControlForcesMatchesBatchesAndTexts) {
  ControlScope control("LocGetLocations.matches = 85\n");
  std::vector<std::vector<Found>> b;
  ASSERT_TRUE(lookup("TQ", "Millbrook", "", &b));
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0].size(), 75u);
  EXPECT_EQ(b[1].size(), 10u);
  EXPECT_EQ(b[1][9].geo, "460230200");

  control.set("LocGetLocations.matches = 3\nLocGetLocations.batch = 2\n");
  b.clear();
  ASSERT_TRUE(lookup("BR", "Atlantis", "", &b));  // no real match: the file's places
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0].size(), 2u);
  EXPECT_EQ(b[0][0].geo, "110010100");
  EXPECT_EQ(b[1].size(), 1u);

  control.set("LocGetLocations.matches = 0\n");
  b.clear();
  ASSERT_TRUE(lookup("BR", "Millbrook", "", &b));
  EXPECT_TRUE(b.empty());

  control.set(
      "LocGetName(2).text = \"A city name far longer than its field\"\n"
      "LocGetName(1).text = \"\"\n"
      "LocGetGeoCodeString.text = \"12345678901234\"\n");
  b.clear();
  ASSERT_TRUE(lookup("HV", "Lisk", "", &b));
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0][0].city, "A city name far longer th");
  EXPECT_EQ(b[0][0].county, "");
  EXPECT_EQ(b[0][0].state, "HV");
  EXPECT_EQ(b[0][0].geo, "1234567890") << "ten characters and no terminator";

  for (const char* fail : {"LocRelease = 0\n", "LocSetNameCriteria = 0\n",
                           "LocCreateFindContext = null\n", "LocDestroyFindContext = 0\n"}) {
    control.set(fail);
    b.clear();
    EXPECT_FALSE(lookup("HV", "Lisk", "", &b)) << fail;
  }
  EXPECT_EQ(b.size(), 1u) << "found before the context failed to go";
}

}  // namespace
