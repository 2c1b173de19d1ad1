// Engine calls and replies: the arguments the engine receives, and every
// status and result message byte for byte as it arrives on a real queue.
#include "avp_calls.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "avp_parse.h"
#include "avp_test_util.h"

namespace {

using Texts = std::vector<std::string>;

struct CmnCall {
  int calls = 0;
  Tax_Str* tax = nullptr;
  Jur_Str* jur = nullptr;
  int select = 0;
} cmn;
int fake_cmn(Tax_Str* tax, int select, Jur_Str* jur) {
  ++cmn.calls;
  cmn.tax = tax;
  cmn.jur = jur;
  cmn.select = select;
  return 17;
}
int zip_function_seen = -1;
int fake_zip020(Zip_Str* zip) {
  zip_function_seen = zip->function;
  return -4;
}

class CallsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(queue.ok());
    cmn = CmnCall{};
    Clear_Tax_Str(&tax);
    Clear_Jur_Str(&jur);
    std::memset(out, 0, API_TEXT_SIZE);
  }
  avptest::Scene scene;
  avptest::OutQueue queue;
  Tax_Str tax{};
  Jur_Str jur{};
  char* out = msgout_raw.mtext;
};

TEST_F(CallsTest, DetermineTaxCallsTheEngineWithBothRecordsAnd51) {
  avp_session.AvpTaxCmnAdd = fake_cmn;
  EXPECT_EQ(determine_tax_avp(&tax, &jur), 17);
  EXPECT_EQ(cmn.calls, 1);
  EXPECT_EQ(cmn.tax, &tax);
  EXPECT_EQ(cmn.jur, &jur);
  EXPECT_EQ(cmn.select, 51);
  const Texts got = scene.messages();
  EXPECT_EQ(Texts(got.end() - 2, got.end()),
            (Texts{"Call AvpTaxCmn/TAX010 to determine tax.\n", "Return from AvpTaxCmn/TAX010: 17\n"}));
}

TEST_F(CallsTest, DetermineAddressSetsTheLookupCode) {
  avp_session.ZIP020Add = fake_zip020;
  auto zip = std::make_unique<Zip_Str>();
  Clear_Zip_Str(zip.get());
  EXPECT_EQ(determine_addr_avp(zip.get()), -4);
  EXPECT_EQ(zip_function_seen, 0);
  const Texts got = scene.messages();
  EXPECT_EQ(Texts(got.end() - 2, got.end()),
            (Texts{"Call ZIP020Add/ZIP020 to determine Geo Code.\n", "Return from ZIP020Add/ZIP020: -4\n"}));
}

TEST_F(CallsTest, UnresolvedEntryPointsAreNeverCalled) {
  EXPECT_EQ(determine_tax_avp(&tax, &jur), AVP_NOT_CALLED);
  auto zip = std::make_unique<Zip_Str>();
  EXPECT_EQ(determine_addr_avp(zip.get()), AVP_NOT_CALLED);
  EXPECT_EQ(tax.GenCmplCd, 0);
}

void fill_results(Tax_Str* tax) {
  for (int k = 0; k < AVP_LEVELS; ++k) {
    tax->level_out_dbl[k] = k + 0.5;           // level k's double: k.5
    tax->level_out_flt[k] = 10.0f * k + 0.25f;  // level k's float: (10k).25
  }
}

TEST_F(CallsTest, StandardTaxReply) {
  fill_results(&tax);
  tax.GenCmplCd = 4;
  jur.chr_236 = 'J';
  std::memcpy(tax.copy_686[0], "Jurisdiction name here   ", 25);
  EXPECT_EQ(send_avp_tax(&tax, &jur, out), 0);
  EXPECT_EQ(queue.drain(),
            (Texts{"6~1~1~1~1~4~",
                   "7~1~1~1~1~1.500000~2.500000~3.500000~4.500000~5.500000~"
                   "10.250000~20.250000~30.250000~40.250000~50.250000~J~Jurisdiction name here   ~"}));
  EXPECT_EQ(scene.messages().back(), "Send Tax.\n");
}

TEST_F(CallsTest, EnhancedTaxReplyUsesTheTravelOrder) {
  fill_results(&tax);
  jur.chr_236 = ' ';  // left blank by the engine: one blank goes out
  std::memset(tax.copy_686[0], 0, 25);
  std::memcpy(tax.copy_686[0], "Short", 5);
  EXPECT_EQ(send_avp_tax_enh(&tax, &jur, out), 0);
  EXPECT_EQ(queue.drain(),
            (Texts{"6~1~1~1~1~0~",
                   "7~1~1~1~1~0.500000~1.500000~2.500000~3.500000~7.500000~6.500000~4.500000~5.500000~"
                   "0.250000~10.250000~20.250000~30.250000~70.250000~60.250000~40.250000~50.250000~ ~Short~"}));
  EXPECT_EQ(scene.messages().back(), "Send Tax Enhanced.\n");
}

TEST_F(CallsTest, TaxReplyWithoutJurisdictionCharacter) {
  jur.chr_236 = '\0';
  tax.GenCmplCd = 83;
  EXPECT_EQ(send_avp_tax(&tax, &jur, out), 0);
  const Texts got = queue.drain();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].substr(got[1].size() - 28), "~~" + std::string(25, ' ') + "~");
}

TEST_F(CallsTest, CodesWithoutAResultSendNothing) {
  for (int gen : {1, 5, 95, -1}) {
    tax.GenCmplCd = gen;
    EXPECT_EQ(send_avp_tax(&tax, &jur, out), 1);
    EXPECT_EQ(send_avp_tax_enh(&tax, &jur, out), 1);
  }
  EXPECT_TRUE(queue.drain().empty());
}

TEST_F(CallsTest, ResultsTooLongForOneMessageAreNotSentCut) {
  for (double& d : tax.level_out_dbl) d = 1e300;
  EXPECT_EQ(send_avp_tax_enh(&tax, &jur, out), 1);
  const Texts got = queue.drain();
  ASSERT_EQ(got.size(), 1u);  // the status alone
  EXPECT_EQ(got[0], "6~1~1~1~1~0~");
}

TEST_F(CallsTest, FailedResultSendReturnsOne) {
  al_os_fail_nth(AL_OS_MSGSND, 2, EIDRM);
  EXPECT_EQ(send_avp_tax(&tax, &jur, out), 1);
}

void fill_entry(ZipEntry* e, const char* city, const char* state) {
  std::memset(e, ' ', sizeof *e);
  std::memcpy(e->city, city, std::strlen(city));
  std::memcpy(e->state, state, 2);
  std::memcpy(e->zip, "02110", 5);
  std::memcpy(e->geo, "07", 2);
  std::memcpy(e->county_code, "025", 3);
  std::memcpy(e->county_name, "SUFFOLK", 7);
  e->indicator = 'Y';
}

std::string record(int i, const char* city) {
  std::string c(city);
  c.resize(26, ' ');
  return "7~2~1~1~" + std::to_string(i) + "~" + c + "~MA~02110~07~025~SUFFOLK" + std::string(19, ' ') + "~Y~";
}

class AddrReplyTest : public CallsTest {
 protected:
  void SetUp() override {
    CallsTest::SetUp();
    zip = std::make_unique<Zip_Str>();
  }
  std::unique_ptr<Zip_Str> zip;
};

TEST_F(AddrReplyTest, RepliesByCode) {
  struct Case {
    int code;
    const char* cities;  // one filled entry per letter from entry 0, '.' a blank entry
    Texts replies;
  };
  const Case cases[] = {
      {0, "BO", {"6~2~1~1~1~0~", record(1, "B")}},  // entry 0 only
      {29, "ABC.E", {"6~2~1~1~3~29~", record(1, "A"), record(2, "B"), record(3, "C")}},  // up to the first blank
      {29, ".", {"6~2~1~1~0~29~"}},
      {1, "A", {}}, {13, "A", {}}, {30, "A", {}}, {-1, "A", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.code) + " " + c.cities);
    *zip = Zip_Str{};
    zip->ZipCmplCd = c.code;
    for (int i = 0; c.cities[i] != '\0'; ++i) {
      const char city[2] = {c.cities[i], '\0'};
      if (city[0] == '.') {
        std::memset(&zip->entry[i], ' ', sizeof(ZipEntry));
      } else {
        fill_entry(&zip->entry[i], city, "MA");
      }
    }
    EXPECT_EQ(send_avp_addr(zip.get(), out), 0);
    EXPECT_EQ(queue.drain(), c.replies);
  }
  EXPECT_EQ(scene.messages().back(), "Send Address.\n");
}

TEST_F(AddrReplyTest, FieldsStopAtAByte0) {
  fill_entry(&zip->entry[0], "AB", "MA");
  zip->entry[0].city[2] = '\0';
  zip->entry[0].county_name[3] = '\0';
  zip->entry[0].indicator = '\0';
  EXPECT_EQ(send_avp_addr(zip.get(), out), 0);
  EXPECT_EQ(queue.drain().back(), "7~2~1~1~1~AB~MA~02110~07~025~SUF~~");
}

TEST_F(AddrReplyTest, OtherCodesSendNothing) {
  for (int code : {1, 13, 30, -1}) {
    zip->ZipCmplCd = code;
    EXPECT_EQ(send_avp_addr(zip.get(), out), 0);
  }
  EXPECT_TRUE(queue.drain().empty());
}

TEST_F(AddrReplyTest, FailedSendsEndTheReply) {
  fill_entry(&zip->entry[0], "A", "MA");
  fill_entry(&zip->entry[1], "B", "MA");
  zip->ZipCmplCd = 29;
  std::memset(&zip->entry[2], ' ', sizeof(ZipEntry));
  al_os_fail_nth(AL_OS_MSGSND, 1, EIDRM);
  EXPECT_EQ(send_avp_addr(zip.get(), out), 1);
  EXPECT_TRUE(queue.drain().empty());  // no result after a failed status
  al_os_reset();
  al_os_fail_nth(AL_OS_MSGSND, 2, EIDRM);
  EXPECT_EQ(send_avp_addr(zip.get(), out), 1);
  EXPECT_EQ(queue.drain().size(), 1u);  // the status; the failed first record ends it
}

}  // namespace
