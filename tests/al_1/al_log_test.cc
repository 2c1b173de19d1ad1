#include "al_log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "al_test_env.h"

namespace {

using al1test::LogCapture;
using al1test::StdCapture;
using al1test::TempDir;

struct HookCalls {
  std::vector<std::string> texts;
  std::vector<int> dests;
};
HookCalls g_hook;

void record_hook(const char*, int, const char*, int dest, const char* text) {
  g_hook.texts.emplace_back(text);
  g_hook.dests.push_back(dest);
}

void recursing_hook(const char* file, int line, const char* func, int dest, const char* text) {
  record_hook(file, line, func, dest, text);
  log_mesg("inner.cc", 2, "inner", LOG_MESG_HOOK, "raised while logging");
}

class LogMesgTest : public ::testing::Test {
 protected:
  void SetUp() override { g_hook = {}; }
  void TearDown() override {
    log_mesg_set_hook(nullptr);
    no_log_mesg = 0;
    sDefaultDest = 0;
  }
};

TEST_F(LogMesgTest, WritesNothingAnywhereByDefault) {
  EXPECT_EQ(sDefaultDest, 0);
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  StdCapture std_out(dir.path());
  log_mesg("a.cc", 1, "f", 0, "plain %d", 1);
  log_mesg("a.cc", 2, "f", LOG_MESG_STDERR | LOG_MESG_STDOUT | LOG_MESG_FILE, "asked for all");
  log_mesg("a.cc", 3, "f", LOG_MESG_ERRNO, "with errno");
  std_out.restore();
  EXPECT_EQ(std_out.out(), "");
  EXPECT_EQ(std_out.err(), "");
}

TEST_F(LogMesgTest, DeliversToTheDefaultSetWithSourceAndDropsOneNewline) {
  LogCapture log;
  log_mesg("lib/x.cc", 17, "fn", 0, "value %s=%d\n\n", "k", 5);
  EXPECT_EQ(log.text(), "lib/x.cc(17) fn: value k=5\n\n");
}

TEST_F(LogMesgTest, MessageFlagsNarrowTheDefaultSet) {
  struct Case {
    int dest;
    int flags;
    bool to_file;
  };
  const Case cases[] = {
      {LOG_MESG_FILE, 0, true},
      {LOG_MESG_FILE, LOG_MESG_FILE, true},
      {LOG_MESG_FILE, LOG_MESG_STDOUT, false},  // not in the default set
      {LOG_MESG_FILE, LOG_MESG_MOD80, true},    // modifiers alone: the default set
      {0, LOG_MESG_FILE, false},
  };
  for (const Case& c : cases) {
    LogCapture log;
    sDefaultDest = c.dest;
    log_mesg("f.cc", 1, "g", c.flags, "m");
    EXPECT_EQ(!log.text().empty(), c.to_file) << "dest " << c.dest << " flags " << c.flags;
  }
}

TEST_F(LogMesgTest, DisabledLogIgnoresMessages) {
  LogCapture log;
  no_log_mesg = 1;
  log_mesg("f.cc", 1, "g", 0, "dropped");
  EXPECT_EQ(log.text(), "");
}

TEST_F(LogMesgTest, HookIsOfferedOnlyWithItsBitAndCannotRecurse) {
  log_mesg_set_hook(recursing_hook);
  log_mesg("f.cc", 1, "g", 0, "no hook bit");
  EXPECT_TRUE(g_hook.texts.empty());
  log_mesg("f.cc", 1, "g", LOG_MESG_HOOK | LOG_MESG_MOD100, "outer %d", 7);
  ASSERT_EQ(g_hook.texts.size(), 1u);  // the inner message found the busy flag set
  EXPECT_EQ(g_hook.texts[0], "outer 7");
  EXPECT_EQ(g_hook.dests[0], LOG_MESG_HOOK | LOG_MESG_MOD100);
  // The busy flag is cleared again afterwards.
  log_mesg("f.cc", 1, "g", LOG_MESG_HOOK, "again");
  EXPECT_EQ(g_hook.texts.size(), 2u);  // "again"; its own inner attempt is dropped
  EXPECT_EQ(g_hook.texts[1], "again");
}

TEST_F(LogMesgTest, ErrnoTextIsAppendedAndErrnoKept) {
  log_mesg_set_hook(record_hook);
  errno = ENOENT;
  log_mesg("f.cc", 1, "g", LOG_MESG_HOOK | LOG_MESG_ERRNO, "open failed");
  EXPECT_EQ(errno, ENOENT);
  ASSERT_EQ(g_hook.texts.size(), 1u);
  EXPECT_EQ(g_hook.texts[0], std::string("open failed: ") + std::strerror(ENOENT));
}

TEST_F(LogMesgTest, LongMessageIsCutToTheBuffer) {
  log_mesg_set_hook(record_hook);
  const std::string big(LOG_MESG_BUFSIZE * 2, 'x');
  log_mesg("f.cc", 1, "g", LOG_MESG_HOOK, "%s", big.c_str());
  ASSERT_EQ(g_hook.texts.size(), 1u);
  EXPECT_EQ(g_hook.texts[0].size(), static_cast<std::size_t>(LOG_MESG_BUFSIZE - 1));
}

TEST_F(LogMesgTest, FormatsInTheCCharacterTypeLocaleAndRestoresIt) {
  const char* before = std::setlocale(LC_CTYPE, nullptr);
  const std::string saved = before ? before : "C";
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
  char probe[16];
  ASSERT_GT(std::snprintf(probe, sizeof probe, "%ls", L"\u00e9"), 0);  // UTF-8 can

  log_mesg_set_hook(record_hook);
  log_mesg("f.cc", 1, "g", LOG_MESG_HOOK, "[%ls]", L"\u00e9");
  const std::string after = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, saved.c_str());

  ASSERT_EQ(g_hook.texts.size(), 1u);
  // "C" cannot convert the character: the conversion fails and nothing of
  // it (nor garbage) reaches the text.
  EXPECT_EQ(g_hook.texts[0].find('\xc3'), std::string::npos);
  EXPECT_EQ(after, "C.UTF-8");
}

}  // namespace
