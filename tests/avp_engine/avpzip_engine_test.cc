// The built libavpzip.so, loaded with dlopen and driven through its entry
// points as the process drives it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "avp_engine_support.h"

namespace {

using avp_test::Engine;
using avp_test::EngineEnv;
using avp_test::entry_text;
using avp_test::read_file;
using avp_test::ZipRequest;

int candidates(const Zip_Str& z) {
  int n = 0;
  while (n < AVP_ZIP_ENTRIES && !(z.entry[n].state[0] == ' ' && z.entry[n].state[1] == ' ')) ++n;
  return n;
}

TEST(AvpZipEngine, OpensLooksUpAndCloses) {
  EngineEnv env;
  Engine e;
  ASSERT_EQ(e.zip_open(AVP_ZIP_FN_OPEN), 0);
  ZipRequest one("NY", "12810", "FAIRHAVEN");
  EXPECT_EQ(e.zip020(&one.z), 0);
  EXPECT_EQ(one.z.ZipCmplCd, 0);
  EXPECT_EQ(candidates(one.z), 1);
  EXPECT_EQ(entry_text(one.z.entry[0].county_name, 26), "KESTREL");

  ZipRequest several("CA", "", "San Albero");
  EXPECT_EQ(e.zip020(&several.z), 29);
  EXPECT_EQ(candidates(several.z), 5);

  ZipRequest none("CA", "99999", "");  // every code: avp_ziplookup_test
  EXPECT_EQ(e.zip020(&none.z), 14);
  EXPECT_EQ(candidates(none.z), 0);

  EXPECT_EQ(e.zip_close(), 0);
  EXPECT_EQ(read_file(env.dir().at("ZIPOUT/avpzip.sum")), "lookups 3\n");
  EXPECT_EQ(e.zip_close(), 1);
  ZipRequest closed("NY", "12810", "");
  EXPECT_EQ(e.zip020(&closed.z), 2);
}

TEST(AvpZipEngine, OnlyFunctionThreeOpensAndOnlyZeroLooksUp) {
  EngineEnv env;
  Engine e;
  ZipRequest before("NY", "12810", "");
  EXPECT_EQ(e.zip020(&before.z), 2);
  EXPECT_EQ(e.zip_open(2), 1);
  EXPECT_EQ(e.zip_open(0), 1);
  ASSERT_EQ(e.zip_open(AVP_ZIP_FN_OPEN), 0);
  ZipRequest r("NY", "12810", "");
  r.z.function = AVP_ZIP_FN_CLOSE;
  EXPECT_EQ(e.zip020(&r.z), 1);
  EXPECT_EQ(candidates(r.z), 0);
  EXPECT_EQ(e.zip020(nullptr), -1);
}

TEST(AvpZipEngine, OpenFailures) {
  struct Case {
    const char* name;
    const char* what;
    int result;
  } cases[] = {
      {"ZIPIN", "unset", 2},   {"ZIPIN", "missing", 2}, {"ZIPIN", "dir", 2},  {"ZIPIN", "CA|x\n", 2},
      {"ZIPIN", "", 2},        {"ZIPOUT", "unset", 6},  {"ZIPOUT", "missing", 6}, {"ZIPOUT", "file", 6},
      {"ZIPTEMP", "unset", 6}, {"ZIPTEMP", "file", 6},
  };
  for (const Case& c : cases) {
    EngineEnv env;
    std::string path = env.dir().at("bad");
    std::string w = c.what;
    if (w == "unset") env.env().unset(c.name);
    else {
      if (w == "dir") std::filesystem::create_directory(path);
      else if (w != "missing") avp_test::write_file(path, w == "file" ? "x" : w);
      env.env().set(c.name, path);
    }
    Engine e;
    EXPECT_EQ(e.zip_open(AVP_ZIP_FN_OPEN), c.result) << c.name << " " << c.what;
    ZipRequest r("NY", "12810", "");
    EXPECT_EQ(e.zip020(&r.z), 2);
  }
}

TEST(AvpZipEngine, ControlForcesCandidatesCodesAndResults) {
  EngineEnv env;
  Engine e;
  ASSERT_EQ(e.zip_open(AVP_ZIP_FN_OPEN), 0);

  env.control("ZipCandidates = 300\n");
  ZipRequest many("NY", "12810", "");
  EXPECT_EQ(e.zip020(&many.z), 29);
  EXPECT_EQ(candidates(many.z), 300);
  EXPECT_EQ(entry_text(many.z.entry[0].city, 26), "FAIRHAVEN");
  EXPECT_EQ(entry_text(many.z.entry[299].city, 26), "CANDIDATE 300");

  env.control("ZipCandidates = 1\n");
  ZipRequest one("CA", "90412", "");
  EXPECT_EQ(e.zip020(&one.z), 0);
  EXPECT_EQ(candidates(one.z), 1);

  env.control("ZipCandidates = 0\n");
  ZipRequest zero("CA", "90412", "");
  EXPECT_EQ(e.zip020(&zero.z), 16);
  EXPECT_EQ(candidates(zero.z), 0);
  ZipRequest zero_none("CA", "", "");
  EXPECT_EQ(e.zip020(&zero_none.z), 13);

  env.control("ZipCandidates = 3\nZipCmplCd = 41\nZIP020 = 12345\n");
  ZipRequest forced("CA", "99999", "");
  EXPECT_EQ(e.zip020(&forced.z), 12345);
  EXPECT_EQ(forced.z.ZipCmplCd, 41);
  EXPECT_EQ(candidates(forced.z), 3);

  env.control("ZipCmplCd = -1\n");
  ZipRequest neg("NY", "12810", "");
  EXPECT_EQ(e.zip020(&neg.z), -1);
  EXPECT_EQ(candidates(neg.z), 1);

  env.control("ZIPCLOSE = 5\nZIPOPEN = 9\n");
  EXPECT_EQ(e.zip_close(), 5);
  EXPECT_EQ(e.zip_open(AVP_ZIP_FN_OPEN), 9);
}

TEST(AvpZipEngine, ArbitraryRequestsNeverCrash) {
  EngineEnv env;
  Engine e;
  ASSERT_EQ(e.zip_open(AVP_ZIP_FN_OPEN), 0);
  unsigned seed = 99;
  for (int round = 0; round < 500; ++round) {
    ZipRequest r("", "", "");
    unsigned char* p = reinterpret_cast<unsigned char*>(&r.z);
    for (std::size_t i = 4; i < 48; ++i) {
      seed = seed * 1103515245u + 12345u;
      p[i] = static_cast<unsigned char>(seed >> 16);
    }
    if (round % 2 == 0) std::memcpy(r.z.state, "CA", 2);
    int code = e.zip020(&r.z);
    EXPECT_EQ(code, r.z.ZipCmplCd);
    EXPECT_LE(candidates(r.z), AVP_ZIP_ENTRIES);
  }
}

}  // namespace
