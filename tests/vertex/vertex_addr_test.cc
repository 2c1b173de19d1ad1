// The Vertex address lookup against the fake engine, and its reply over a
// real queue.
#include "vertex_addr.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "al_os.h"
#include "api_msg.h"
#include "fake_vertex_engine.h"
#include "vertex_session.h"
#include "vertex_test_util.h"

namespace {

std::unique_ptr<VertexAddrRec> new_rec() {
  auto rec = std::make_unique<VertexAddrRec>();
  std::memset(rec.get(), 0, sizeof *rec);
  return rec;
}

std::unique_ptr<VertexAddrRec> parsed(const std::string& text) {
  auto rec = new_rec();
  format_vertex_addr(text.c_str(), rec.get());
  return rec;
}

std::vector<FakeLocation> numbered_locations(int n) {
  std::vector<FakeLocation> out;
  for (int i = 1; i <= n; ++i) {
    out.push_back({"City" + std::to_string(i), "RI", "County" + std::to_string(i),
                   std::to_string(440000000 + i)});
  }
  return out;
}

class VertexAddrTest : public ::testing::Test {
 protected:
  FakeVertexScope scope_;
};

// Fields 6 to 8, each cut to its member; the zip fills its member unterminated.
TEST(VertexAddrParseTest, FieldsSixToEightCutToTheirMembers) {
  const struct {
    std::string text, city, state, zip;
  } cases[] = {
      {"9~2~1~2~1~Providence~RI~02903~", "Providence", "RI", "02903"},
      {"9~2~1~2~1~Providence~", "Providence", "", ""},
      {"9~2~1~2~1~~~02903~", "", "", "02903"},
      {"9~2~1~2~1~" + std::string(40, 'C') + "~RIX~1234567890~", std::string(25, 'C'), "RI", "1234567"},
      {"9~2~1~2~1~x~y~02903-12~", "x", "y", "02903-1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto rec = parsed(c.text);
    EXPECT_EQ(std::string(rec->city), c.city);
    EXPECT_EQ(std::string(rec->state), c.state);
    EXPECT_EQ(std::string(rec->zip, strnlen(rec->zip, sizeof rec->zip)), c.zip);
    EXPECT_EQ(rec->locations[0].city[0], '\0');  // nothing ran over
  }
}

TEST_F(VertexAddrTest, OneMatch) {
  fake.locations = {{"Providence", "RI", "Providence", "440610000"}};
  auto rec = parsed("9~2~1~2~1~Providence~RI~02903~");
  EXPECT_EQ(determine_addr_vertex(rec.get()), 0);
  EXPECT_EQ(rec->count, 1);
  EXPECT_STREQ(rec->locations[0].city, "Providence");
  EXPECT_STREQ(rec->locations[0].geo_code, "440610000");
  EXPECT_EQ(log_messages(), (std::vector<std::string>{
                                "LocCreateFindContext passed.",
                                "LocSetNameCriteria passed.",
                                "LocGetLocations passed.",
                                "LocDestroyFindContext passed.",
                            }));
  // The criteria: context, 2, 0, state, 0, 0, 0, 1, city, 0, zip.
  EXPECT_EQ(fake.crit_args[0], 2);
  EXPECT_EQ(fake.crit_args[1], 0);
  EXPECT_EQ(fake.crit_args[5], 1);
  EXPECT_EQ(fake.crit_state, "RI");
  EXPECT_EQ(fake.crit_city, "Providence");
  EXPECT_EQ(fake.crit_zip, "02903");
  EXPECT_EQ(fake.destroy_calls, 1);
}

// Up to 75 matches come in one batch; more come in batches of which the
// reply keeps the last.
TEST_F(VertexAddrTest, BatchesOfMatches) {
  const struct {
    int matches, count;
    const char *first, *last;
    long releases;
  } cases[] = {{75, 75, "City1", "City75", 1}, {85, 10, "City76", "City85", 2}};
  for (const auto& c : cases) {
    install_fake_vertex();
    fake.locations = numbered_locations(c.matches);
    auto rec = parsed("9~2~1~2~1~~RI~~");
    EXPECT_EQ(determine_addr_vertex(rec.get()), 0);
    ASSERT_EQ(rec->count, c.count);
    EXPECT_STREQ(rec->locations[0].city, c.first);
    EXPECT_STREQ(rec->locations[c.count - 1].city, c.last);
    EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "LocRelease"), c.releases);
    EXPECT_EQ(fake.destroy_calls, 1);
  }
}

struct AddrFailure {
  const char* name;
  void (*setup)();
  int result;
  int destroys;
  std::vector<std::string> log;
};

TEST_F(VertexAddrTest, FailuresDestroyTheContextOnEveryPath) {
  const AddrFailure cases[] = {
      {"no match", [] {}, 2, 1,
       {"LocCreateFindContext passed.", "LocSetNameCriteria passed.",
        "LocGetLocations failed, returned 0."}},
      {"no context", [] { fake.create_ctx_null = 1; }, 1, 0,
       {"LocCreateFindContext failed, returned NULL."}},
      {"criteria refused", [] { fake.criteria_ok = 0; }, 2, 1,
       {"LocCreateFindContext passed.", "LocSetNameCriteria failed, returned FALSE."}},
      {"release refused",
       [] {
         fake.locations = numbered_locations(3);
         fake.release_ok = 0;
       },
       1, 1, {"LocCreateFindContext passed.", "LocSetNameCriteria passed."}},
      {"destroy refused",
       [] {
         fake.locations = numbered_locations(3);
         fake.destroy_ok = 0;
       },
       1, 1,
       {"LocCreateFindContext passed.", "LocSetNameCriteria passed.", "LocGetLocations passed.",
        "LocDestroyFindContext failed, returned FALSE."}},
      {"more than asked for", [] { fake.force_count = 80; }, 1, 1,
       {"LocCreateFindContext passed.", "LocSetNameCriteria passed.",
        "LocGetLocations failed, returned 80."}},
      {"negative count", [] { fake.force_count = -2; }, 1, 1,
       {"LocCreateFindContext passed.", "LocSetNameCriteria passed.",
        "LocGetLocations failed, returned -2."}},
  };
  for (const AddrFailure& c : cases) {
    SCOPED_TRACE(c.name);
    install_fake_vertex();
    c.setup();
    auto rec = parsed("9~2~1~2~1~Nowhere~ZZ~00000~");
    EXPECT_EQ(determine_addr_vertex(rec.get()), c.result);
    EXPECT_EQ(fake.destroy_calls, c.destroys);
    EXPECT_EQ(log_messages(), c.log);
  }
}

TEST_F(VertexAddrTest, EngineTextsThatBreakTheirWidthsStayInTheirMembers) {
  fake.locations = {{std::string(60, 'c'), "RIX", std::string(30, 'k'), "123456789012345"},
                    {"Next", "MA", "Suffolk", "220250000"}};
  auto rec = parsed("9~2~1~2~1~x~~~");
  ASSERT_EQ(determine_addr_vertex(rec.get()), 0);
  ASSERT_EQ(rec->count, 2);
  const VertexLocation& first = rec->locations[0];
  EXPECT_EQ(std::string(first.city), std::string(25, 'c'));
  EXPECT_STREQ(first.state, "RI");
  EXPECT_EQ(std::string(first.county), std::string(20, 'k'));
  EXPECT_EQ(std::string(first.geo_code, sizeof first.geo_code), "1234567890");
  EXPECT_STREQ(rec->locations[1].city, "Next");
}

TEST_F(VertexAddrTest, WithoutLocationConnectionNoEngineCall) {
  vertex_session.pLocConn = nullptr;
  auto rec = parsed("9~2~1~2~1~x~~~");
  EXPECT_EQ(determine_addr_vertex(rec.get()), 1);
  EXPECT_TRUE(fake.calls.empty());
  install_fake_vertex();
  vertex_session.LocGetNameAdd = nullptr;
  EXPECT_EQ(determine_addr_vertex(rec.get()), 1);
  EXPECT_TRUE(fake.calls.empty());
}

TEST(VertexAddrReplyTest, StatusAndResultTexts) {
  auto rec = parsed("9~2~1~2~1~Providence~RI~02903~");
  rec->count = 2;
  std::strcpy(rec->locations[0].city, "Providence");
  std::strcpy(rec->locations[0].state, "RI");
  std::strcpy(rec->locations[0].county, "Providence");
  std::memcpy(rec->locations[0].geo_code, "4406100001", 10);  // fills the member
  std::strcpy(rec->locations[1].city, "Cranston");
  std::strcpy(rec->locations[1].state, "RI");
  std::strcpy(rec->locations[1].geo_code, "440070000");
  char out[API_TEXT_SIZE];
  format_vertex_addr_status(rec.get(), out, sizeof out);
  EXPECT_STREQ(out, "6~2~1~2~2~0~");
  format_vertex_addr_result(rec.get(), 0, out, sizeof out);
  EXPECT_STREQ(out, "7~2~1~2~1~Providence~RI~02903~4406100001~Providence~");
  format_vertex_addr_result(rec.get(), 1, out, sizeof out);
  EXPECT_STREQ(out, "7~2~1~2~2~Cranston~RI~02903~440070000~~");
}

TEST(VertexAddrReplyTest, SendsOverTheOutputQueueAndStopsAtAFailedSend) {
  OsFaultGuard faults;
  OutputQueue q;
  ASSERT_TRUE(q.ok());
  auto rec = parsed("9~2~1~2~1~Providence~RI~02903~");
  rec->count = 3;
  for (int i = 0; i < 3; ++i) std::strcpy(rec->locations[i].city, ("C" + std::to_string(i)).c_str());
  std::memset(msgout_raw.mtext, 0, API_TEXT_SIZE);
  EXPECT_EQ(send_vertex_addr(rec.get(), msgout_raw.mtext), 0);
  EXPECT_EQ(q.drain(), (std::vector<std::string>{"6~2~1~2~3~0~", "7~2~1~2~1~C0~~02903~~~",
                                                 "7~2~1~2~2~C1~~02903~~~", "7~2~1~2~3~C2~~02903~~~"}));
  al_os_fail_nth(AL_OS_MSGSND, 3, EIDRM);
  EXPECT_EQ(send_vertex_addr(rec.get(), msgout_raw.mtext), 1);
  EXPECT_EQ(q.drain().size(), 2u);
  al_os_reset();
  rec->count = 0;
  EXPECT_EQ(send_vertex_addr(rec.get(), msgout_raw.mtext), 0);
  EXPECT_EQ(q.drain(), std::vector<std::string>{"6~2~1~2~0~0~"});
}

}  // namespace
