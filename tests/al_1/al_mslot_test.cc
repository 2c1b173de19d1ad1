// Message slots over real System V queues: open, timed receive, send with
// its wait for room, close, the bounded copy, and every OS failure path.
#include "al_mslot.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "../core/core_test_util.h"
#include "al_ncpst.h"
#include "al_os.h"

namespace {

using coretest::QueueGuard;
using coretest::TempDir;

class MSlot : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    al_os_reset();
    MSltSetSendWait(30000);
    path_ = dir_.touch("q");
    queues_.watch(path_);
  }
  void TearDown() override {
    al_os_reset();
    MSltSetSendWait(30000);
    MSltSetInterrupt(nullptr);
  }
  // A fresh queue for path_; its key.
  int fresh() {
    const int key = MSltOpen(1, path_.c_str(), 1, 0);
    EXPECT_NE(key, -1);
    return key;
  }

  TempDir dir_;
  QueueGuard queues_;
  std::string path_;
  char buf_[MSLT_MAX_TEXT + 1] = {};
};

TEST_F(MSlot, CreateOverAnExistingQueueGivesAnEmptyQueueUnderTheSameKey) {
  const int key = fresh();
  ASSERT_TRUE(coretest::put(key, "old"));
  ASSERT_EQ(coretest::pending(key), 1);
  const int old_id = msgget(key, 0);
  EXPECT_EQ(MSltOpen(1, path_.c_str(), 1, 0), key);
  EXPECT_EQ(coretest::pending(key), 0);
  EXPECT_NE(msgget(key, 0), old_id) << "a new queue";
  struct msqid_ds ds {};
  ASSERT_EQ(msgctl(msgget(key, 0), IPC_STAT, &ds), 0);
  EXPECT_EQ(ds.msg_perm.mode & 0777, 0666u) << "open to everyone";
}

TEST_F(MSlot, OpenOfANeverCreatedQueueOrAMissingFileFails) {
  EXPECT_EQ(MSltOpen(1, path_.c_str(), 0, 0), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(MSltOpen(1, dir_.at("nothing").c_str(), 1, 0), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(MSltOpen(1, "", 1, 0), -1);
}

TEST_F(MSlot, TheKeyIsStableAndTheIdIsTheQueues) {
  const int key = fresh();
  EXPECT_EQ(key, static_cast<int>(ftok(path_.c_str(), 1)));
  EXPECT_EQ(MSltOpen(1, path_.c_str(), 0, 0), key);
  EXPECT_EQ(MSltOpen(1, path_.c_str(), 0, 1), msgget(key, 0));
}

TEST_F(MSlot, TheIdFlagTakesTheHandleAsAnId) {
  const int id = MSltOpen(1, path_.c_str(), 1, 1);
  ASSERT_EQ(MSltSend(id, 2, "by id", 6, 1), 1);
  int len = 0;
  EXPECT_EQ(MSltRecv(id, 2, 0, buf_, &len, 1), 2);
  EXPECT_STREQ(buf_, "by id");
  EXPECT_EQ(MSltSend(-1, 1, "x", 2, 1), 0);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(MSltRecv(-1, 0, 0, buf_, &len, 1), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(MSltClose(-1, 1), -1);
}

TEST_F(MSlot, SendAndReceiveRoundTripOfTheWantedTypeOnly) {
  const int key = fresh();
  ASSERT_EQ(MSltSend(key, 8, "8~1~1~2~1~", 11, 0), 1);
  int len = -7;
  EXPECT_EQ(MSltRecv(key, 0, 0, buf_, &len, 0), 8);
  EXPECT_EQ(len, 11);
  EXPECT_STREQ(buf_, "8~1~1~2~1~");
  EXPECT_EQ(errno, 0);
  ASSERT_EQ(MSltSend(key, 3, "three", 6, 0), 1);
  ASSERT_EQ(MSltSend(key, 5, "five", 5, 0), 1);
  EXPECT_EQ(MSltRecv(key, 5, 0, buf_, &len, 0), 5);
  EXPECT_STREQ(buf_, "five");
  EXPECT_EQ(MSltRecv(key, 5, 0, buf_, &len, 0), -1);
  EXPECT_EQ(errno, ENOMSG);
  EXPECT_EQ(MSltRecv(key, 0, 0, buf_, &len, 0), 3);
}

// Attempts and pauses: every pause is itself one blocking msgrcv that the
// next tick ends, so nothing coming means 2 * pauses + 1 calls.
TEST_F(MSlot, TimedReceiveMakesOneAttemptMoreThanPauses) {
  const int key = fresh();
  const struct {
    int timeout;
    long calls;
  } cases[] = {{0, 1}, {1, 3}, {5, 3}, {10, 3}, {11, 5}, {25, 7}, {30, 7}, {31, 9}};
  for (const auto& c : cases) {
    al_os_reset();
    int len = 5;
    EXPECT_EQ(MSltRecv(key, 0, c.timeout, buf_, &len, 0), -1) << c.timeout;
    EXPECT_EQ(errno, ENOMSG) << c.timeout;
    EXPECT_EQ(len, -1) << c.timeout;
    EXPECT_EQ(al_os_calls(AL_OS_MSGRCV), c.calls) << "time-out " << c.timeout;
  }
}

TEST_F(MSlot, ABlockingReceiveWaitsForTheMessage) {
  const int key = fresh();
  ASSERT_TRUE(coretest::put(key, "here"));
  int len = 0;
  EXPECT_EQ(MSltRecv(key, 0, -1, buf_, &len, 0), 1);
  EXPECT_STREQ(buf_, "here");
}

// True while thread `tid` of this process sits in a blocking msgrcv (the
// pause of a timed receive: flags without IPC_NOWAIT).
bool in_blocking_msgrcv(long tid) {
  const std::string call = coretest::slurp("/proc/self/task/" + std::to_string(tid) + "/syscall");
  unsigned long nr = 0, a1 = 0, a2 = 0, a3 = 0, a4 = 0, flags = 0;
  if (std::sscanf(call.c_str(), "%lu %lx %lx %lx %lx %lx", &nr, &a1, &a2, &a3, &a4, &flags) != 6) return false;
  return nr == SYS_msgrcv && (flags & IPC_NOWAIT) == 0;
}

TEST_F(MSlot, AMessageArrivingDuringAPauseEndsItAtOnce) {
  const int key = fresh();
  const long waiter = syscall(SYS_gettid);
  std::atomic<bool> sent {false};
  std::thread sender([&] {
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm, nullptr);  // the ticks belong to the waiter
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline && !in_blocking_msgrcv(waiter)) std::this_thread::yield();
    struct {
      long mtype;
      char mtext[8];
    } m = {6, "pause"};
    sent = msgsnd(msgget(key, 0), &m, 6, 0) == 0;
  });
  int len = 0;
  const int type = MSltRecv(key, 0, 20000, buf_, &len, 0);
  sender.join();
  ASSERT_TRUE(sent.load());
  EXPECT_EQ(type, 6);
  EXPECT_STREQ(buf_, "pause");
  // Taken by the pause it arrived in (an even count), or, when a tick came
  // between, by the attempt right after it: never a later one.
  EXPECT_LE(al_os_calls(AL_OS_MSGRCV), 3);
}

TEST_F(MSlot, AnInterruptFlagEndsTheWait) {
  const int key = fresh();
  volatile std::sig_atomic_t flag = 1;
  MSltSetInterrupt(&flag);
  int len = 0;
  EXPECT_EQ(MSltRecv(key, 0, 100000, buf_, &len, 0), -1);
  EXPECT_EQ(errno, EINTR);
  EXPECT_EQ(len, -1);
  EXPECT_LE(al_os_calls(AL_OS_MSGRCV), 2);
  ASSERT_TRUE(coretest::put(key, "x"));
  EXPECT_EQ(MSltRecv(key, 0, 100000, buf_, &len, 0), 1) << "a waiting message is still taken";
}

void own_alarm(int) {}

// The pauses borrow SIGALRM and the real-time timer: the caller's handler and
// timer must be there again afterwards.
TEST_F(MSlot, WaitsGiveBackTheCallersAlarmHandlerAndTimer) {
  const int key = fresh();
  struct sigaction mine {};
  mine.sa_handler = own_alarm;
  sigemptyset(&mine.sa_mask);
  struct sigaction before {};
  ASSERT_EQ(sigaction(SIGALRM, &mine, &before), 0);
  struct itimerval timer {};
  timer.it_value.tv_sec = 50;
  ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);

  int len = 0;
  EXPECT_EQ(MSltRecv(key, 0, 30, buf_, &len, 0), -1);
  EXPECT_EQ(errno, ENOMSG);
  MSltSetSendWait(30);
  const std::string text(MSLT_MAX_TEXT, 'a');
  for (int i = 0; i < 64 && MSltSend(key, 1, text.c_str(), MSLT_MAX_TEXT, 0) == 1; ++i) {
  }
  EXPECT_EQ(errno, EAGAIN) << "the queue filled up and the send waited";

  struct sigaction now {};
  ASSERT_EQ(sigaction(SIGALRM, nullptr, &now), 0);
  EXPECT_EQ(now.sa_handler, own_alarm);
  struct itimerval left {};
  ASSERT_EQ(getitimer(ITIMER_REAL, &left), 0);
  EXPECT_GT(left.it_value.tv_sec, 0);
  EXPECT_LE(left.it_value.tv_sec, 50);

  const struct itimerval off {};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &before, nullptr);
}

TEST_F(MSlot, SendCutsTheTextTo4096BytesAndTypeZeroToOne) {
  const int key = fresh();
  const std::string big(5000, 'a');
  const struct {
    int type;
    const char* text;
    int len;
    long want_type;
    ssize_t want_bytes;
  } cases[] = {{1, big.c_str(), 5000, 1, 4096}, {0, "t", 2, 1, 2}, {3, "abc", -5, 3, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.len);
    ASSERT_EQ(MSltSend(key, c.type, c.text, c.len, 0), 1);
    coretest::RawMessage m {};
    EXPECT_EQ(msgrcv(msgget(key, 0), &m, sizeof m.mtext, 0, IPC_NOWAIT), c.want_bytes);
    EXPECT_EQ(m.mtype, c.want_type);
  }
}

TEST_F(MSlot, AnOverLongMessageIsCutAndDoesNotBlockTheQueue) {
  const int key = fresh();
  ASSERT_TRUE(coretest::put_bytes(key, std::string(6000, 'b')));
  ASSERT_TRUE(coretest::put(key, "next"));
  int len = 0;
  EXPECT_EQ(MSltRecv(key, 0, 0, buf_, &len, 0), 1);
  EXPECT_EQ(len, MSLT_MAX_TEXT);
  EXPECT_EQ(buf_[MSLT_MAX_TEXT], '\0');
  EXPECT_EQ(MSltRecv(key, 0, 0, buf_, &len, 0), 1);
  EXPECT_STREQ(buf_, "next");
}

TEST_F(MSlot, ASizedReceiveStaysInsideItsBuffer) {
  const int key = fresh();
  const struct {
    std::string text;
    std::size_t size;
    int len;           // reported length
    std::string kept;  // the buffer up to its end, terminator included
  } cases[] = {
      {std::string(3000, 'c'), 1024, 1023, std::string(1023, 'c') + '\0'},
      {"abc", 0, 0, ""},                     // no room: nothing written, the message still taken
      {"12345", 8, 6, std::string("12345\0", 6)},  // the NUL travelled with the text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    ASSERT_TRUE(coretest::put(key, c.text));
    std::string dst(c.size + 16, '#');
    int len = 7;
    EXPECT_EQ(MSltRecvSized(key, 0, 0, dst.data(), c.size, &len, 0), 1);
    EXPECT_EQ(len, c.len);
    EXPECT_EQ(dst.substr(0, c.kept.size()), c.kept);
    EXPECT_EQ(dst.substr(c.size), std::string(16, '#'));
    EXPECT_EQ(coretest::pending(key), 0);
  }
}

TEST_F(MSlot, AMessageTypeBeyondIntIsDeliveredButReportedAsMinusOne) {
  const int key = fresh();
  ASSERT_TRUE(coretest::put(key, "big", static_cast<long>(INT_MAX) + 5));
  int len = 0;
  EXPECT_EQ(MSltRecv(key, 0, 0, buf_, &len, 0), -1);
  EXPECT_EQ(len, 4);
  EXPECT_STREQ(buf_, "big");
}

TEST_F(MSlot, CloseRemovesTheQueueAndAGoneQueueFailsEveryCall) {
  const int key = fresh();
  EXPECT_EQ(MSltClose(key, 0), 0);
  EXPECT_EQ(msgget(key, 0), -1);
  EXPECT_EQ(MSltClose(key, 0), -1);
  EXPECT_EQ(MSltOpen(1, path_.c_str(), 0, 0), -1);
  int len = 5;
  EXPECT_EQ(MSltRecv(key, 0, 25, buf_, &len, 0), -1);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(al_os_calls(AL_OS_MSGRCV), 0);
  EXPECT_EQ(MSltSend(key, 1, "x", 2, 0), 0);
  ASSERT_EQ(MSltOpen(1, path_.c_str(), 1, 0), key) << "recreated under the same key, it is found again";
  EXPECT_EQ(MSltSend(key, 1, "again", 6, 0), 1);
  EXPECT_EQ(MSltRecv(key, 0, 0, buf_, &len, 0), 1);
  EXPECT_STREQ(buf_, "again");
}

// Messages of 4096 bytes: how many one queue holds.
long queue_capacity() {
  long mnb = 16384;
  if (FILE* f = std::fopen("/proc/sys/kernel/msgmnb", "r")) {
    if (std::fscanf(f, "%ld", &mnb) != 1) mnb = 16384;
    std::fclose(f);
  }
  return mnb / MSLT_MAX_TEXT;
}

TEST_F(MSlot, AFullQueueFailsWithEagainAfterTheSendWait) {
  const int key = fresh();
  const std::string text(MSLT_MAX_TEXT, 'f');
  MSltSetSendWait(30);
  const long capacity = queue_capacity();
  for (long i = 0; i < capacity; ++i) ASSERT_EQ(MSltSend(key, 1, text.c_str(), MSLT_MAX_TEXT, 0), 1) << i;
  al_os_reset();
  EXPECT_EQ(MSltSend(key, 1, text.c_str(), MSLT_MAX_TEXT, 0), 0);
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_GE(al_os_calls(AL_OS_MSGSND), 2) << "it waited for room";
  EXPECT_EQ(coretest::pending(key), capacity);

  MSltSetSendWait(0);
  al_os_reset();
  EXPECT_EQ(MSltSend(key, 1, text.c_str(), MSLT_MAX_TEXT, 0), 0);
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_EQ(al_os_calls(AL_OS_MSGSND), 1) << "no wait at all";
}

TEST_F(MSlot, SendWaitIsNeverNegative) {
  MSltSetSendWait(-5);
  EXPECT_EQ(MSltGetSendWait(), 0);
  MSltSetSendWait(250);
  EXPECT_EQ(MSltGetSendWait(), 250);
}

TEST_F(MSlot, InjectedFtokAndMsggetFailures) {
  al_os_fail_nth(AL_OS_FTOK, 1, EACCES);
  EXPECT_EQ(MSltOpen(1, path_.c_str(), 1, 0), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(al_os_calls(AL_OS_MSGGET), 0);
  al_os_fail_nth(AL_OS_MSGGET, 2, ENOSPC);  // the creating msgget
  EXPECT_EQ(MSltOpen(1, path_.c_str(), 1, 0), -1);
  EXPECT_EQ(errno, ENOSPC);
  const int key = fresh();
  al_os_fail_nth(AL_OS_MSGGET, 1, EACCES);  // the lookup of an existing queue
  EXPECT_EQ(MSltOpen(1, path_.c_str(), 0, 0), -1);
  al_os_fail_nth(AL_OS_MSGGET, 1, EACCES);
  int len = 3;
  EXPECT_EQ(MSltRecv(key, 0, 0, buf_, &len, 0), -1);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(errno, EACCES);
  al_os_fail_nth(AL_OS_MSGGET, 1, EACCES);
  EXPECT_EQ(MSltSend(key, 1, "x", 2, 0), 0);
  al_os_fail_nth(AL_OS_MSGGET, 1, EACCES);
  EXPECT_EQ(MSltClose(key, 0), -1);
  EXPECT_NE(msgget(key, 0), -1) << "the queue is still there";
}

TEST_F(MSlot, InjectedMsgrcvFailure) {
  const int key = fresh();
  ASSERT_TRUE(coretest::put(key, "kept"));
  al_os_fail_nth(AL_OS_MSGRCV, 1, EIO);
  int len = 0;
  EXPECT_EQ(MSltRecv(key, 0, 1000, buf_, &len, 0), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(len, -1);
  EXPECT_EQ(al_os_calls(AL_OS_MSGRCV), 1) << "an error other than no message ends the wait";
  EXPECT_EQ(MSltRecv(key, 0, 0, buf_, &len, 0), 1);
  EXPECT_STREQ(buf_, "kept");
}

TEST_F(MSlot, InjectedMsgsndAndMsgctlFailures) {
  const int key = fresh();
  al_os_fail_nth(AL_OS_MSGSND, 1, EIDRM);
  EXPECT_EQ(MSltSend(key, 1, "x", 2, 0), 0);
  EXPECT_EQ(errno, EIDRM);
  EXPECT_EQ(coretest::pending(key), 0);
  EXPECT_EQ(MSltSend(key, 1, "x", 2, 0), 1);
  al_os_fail_nth(AL_OS_MSGCTL, 1, EPERM);
  EXPECT_EQ(MSltClose(key, 0), -1);
  EXPECT_NE(msgget(key, 0), -1);
  EXPECT_EQ(MSltClose(key, 0), 0);
}

struct CopyCase {
  const char* src;
  std::size_t count;
  int terminate;
  const char* want;   // destination contents up to the first '#'
  std::ptrdiff_t end;  // returned position, from the destination's start
};

TEST(Ncopystr, Table) {
  const CopyCase cases[] = {
      {"abc", 0, 0, "", 0},          {"abc", 0, 1, "", 1},          {"abc", 2, 0, "ab", 2},
      {"abc", 2, 1, "ab", 3},        {"abc", 3, 1, "abc", 4},       {"abc", 4, 0, "abc", 3},
      {"abc", 4, 1, "abc", 4},       {"abc", 10, 0, "abc", 3},      {"", 5, 1, "", 1},
      {"a\0bc", 4, 0, "a", 1},       {"abcdef", 6, 0, "abcdef", 6},
  };
  for (const CopyCase& c : cases) {
    char dst[16];
    std::memset(dst, '#', sizeof dst);
    char* end = ncopystr(dst, c.src, c.count, c.terminate);
    EXPECT_EQ(end - dst, c.end) << c.src << " " << c.count << " " << c.terminate;
    const std::string got(dst, static_cast<std::size_t>(std::find(dst, dst + sizeof dst, '#') - dst));
    std::string want(c.want);
    // A copied or written NUL stands in the destination too.
    if (c.terminate || c.count > std::strlen(c.src)) want.push_back('\0');
    EXPECT_EQ(got, want) << c.src << " " << c.count << " " << c.terminate;
  }
}

}  // namespace
