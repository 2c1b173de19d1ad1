#include "avp_control.h"

#include <gtest/gtest.h>

#include "avp_engine_support.h"

namespace avp_standin {
namespace {

TEST(AvpControl, ParsesEveryName) {
  Control c = parse_control(
      "# comment\n"
      "AVPTAXOPEN=0\nAVPTAXCLOSE = 2\n AVPTAXCMN = -3 \nAVPTAX_IO_ERR=4\n"
      "ZIPOPEN=5\nZIPCLOSE=6\nZIP020=7\n"
      "GenCmplCd=63\nJurCmplCd=99\nPOOJurRC=1\nPOAJurRC=3\nShpToJurRC=4\nShpFrJurRC=5\n"
      "ZipCmplCd=-1\nZipCandidates=300\n");
  EXPECT_EQ(c.AVPTAXOPEN, 0);
  EXPECT_EQ(c.AVPTAXCLOSE, 2);
  EXPECT_EQ(c.AVPTAXCMN, -3);
  EXPECT_EQ(c.AVPTAX_IO_ERR, 4);
  EXPECT_EQ(c.ZIPOPEN, 5);
  EXPECT_EQ(c.ZIPCLOSE, 6);
  EXPECT_EQ(c.ZIP020, 7);
  EXPECT_EQ(c.GenCmplCd, 63);
  EXPECT_EQ(c.JurCmplCd, 99);
  EXPECT_EQ(c.POOJurRC, 1);
  EXPECT_EQ(c.POAJurRC, 3);
  EXPECT_EQ(c.ShpToJurRC, 4);
  EXPECT_EQ(c.ShpFrJurRC, 5);
  EXPECT_EQ(c.ZipCmplCd, -1);
  EXPECT_EQ(c.ZipCandidates, 300);
}

TEST(AvpControl, SkipsWhatItCannotUse) {
  Control c = parse_control(
      "GenCmplCd\n=5\ngencmplcd=4\nGenCmplCd=4x\nGenCmplCd=99999999999\nUnknown=1\n"
      "ZipCandidates=-1\nJurCmplCd=\n\x01\xff=3\n");
  EXPECT_FALSE(c.GenCmplCd);
  EXPECT_FALSE(c.JurCmplCd);
  EXPECT_FALSE(c.ZipCandidates);
}

TEST(AvpControl, CandidatesAreCappedAt300AndTheLastValueWins) {
  EXPECT_EQ(parse_control("ZipCandidates=100000\n").ZipCandidates, 300);
  EXPECT_EQ(parse_control("ZipCandidates=0\n").ZipCandidates, 0);
  EXPECT_EQ(parse_control("GenCmplCd=1\nGenCmplCd=2\n").GenCmplCd, 2);
  EXPECT_EQ(parse_control("GenCmplCd=-2147483648").GenCmplCd, -2147483647 - 1);
}

TEST(AvpControl, ReadsTheFileTheVariableNames) {
  avp_test::TempDir dir;
  avp_test::EnvGuard env;
  env.unset(kControlVar);
  EXPECT_FALSE(read_control().GenCmplCd);
  env.set(kControlVar, "");
  EXPECT_FALSE(read_control().GenCmplCd);
  env.set(kControlVar, dir.at("absent"));
  EXPECT_FALSE(read_control().GenCmplCd);
  avp_test::write_file(dir.at("control"), "GenCmplCd = 18\n");
  env.set(kControlVar, dir.at("control"));
  EXPECT_EQ(read_control().GenCmplCd, 18);
  env.set(kControlVar, dir.path());  // a directory reads as no overrides
  EXPECT_FALSE(read_control().GenCmplCd);
}

}  // namespace
}  // namespace avp_standin
