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
  EXPECT_EQ((std::vector<std::optional<int>>{c.AVPTAXOPEN, c.AVPTAXCLOSE, c.AVPTAXCMN, c.AVPTAX_IO_ERR, c.ZIPOPEN,
                                             c.ZIPCLOSE, c.ZIP020, c.GenCmplCd, c.JurCmplCd, c.POOJurRC, c.POAJurRC,
                                             c.ShpToJurRC, c.ShpFrJurRC, c.ZipCmplCd, c.ZipCandidates}),
            (std::vector<std::optional<int>>{0, 2, -3, 4, 5, 6, 7, 63, 99, 1, 3, 4, 5, -1, 300}));
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
