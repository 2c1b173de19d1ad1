// Message slots on real System V queues: what the process's own runs do not
// show - a queue created anew, timed waits, texts cut to their room, a full
// queue nobody reads.
#include "al_mslot.h"

#include <gtest/gtest.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "al_os.h"
#include "test_util.h"

namespace {

class MSlot : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    key_ = MSltOpen(1, dir_.touch("q").c_str(), 1, 0);
    ASSERT_NE(key_, -1);
    al_os_reset();
  }
  void TearDown() override {
    MSltClose(key_, 0);
    al_os_reset();
    MSltSetSendWait(30000);
    MSltSetInterrupt(nullptr);
  }
  // Puts the bytes of `text` straight on the queue.
  bool put(const std::string& text, long type = 1) {
    static struct {
      long mtype;
      char mtext[8192];
    } m;
    m.mtype = type;
    std::memcpy(m.mtext, text.data(), text.size());
    return msgsnd(msgget(key_, 0), &m, text.size(), IPC_NOWAIT) == 0;
  }
  test_util::TempDir dir_;
  int key_ = -1;
  char buf_[MSLT_MAX_TEXT + 1] = {};
  int len_ = 0;
};

int queue_mode(int key) {
  struct msqid_ds ds {};
  return msgctl(msgget(key, 0), IPC_STAT, &ds) == 0 ? static_cast<int>(ds.msg_perm.mode & 0777) : -1;
}

// A queue of this user's is made anew, owner-only unless asked otherwise; one
// that another user owns under the same key (ftok keys collide) is left
// alone and the open fails.
TEST_F(MSlot, CreatedAnew) {
  ASSERT_TRUE(put("old"));
  EXPECT_EQ(MSltOpen(1, dir_.at("q").c_str(), 1, 0), key_) << "the same key";
  EXPECT_EQ(MSltPending(key_, 0), 0) << "what the old queue held is gone";
  EXPECT_EQ(queue_mode(key_), 0600);
  MSltSetCreateMode(0660);
  EXPECT_EQ(MSltOpen(1, dir_.at("q").c_str(), 1, 0), key_);
  EXPECT_EQ(queue_mode(key_), 0660);
  MSltSetCreateMode(0600);
  struct msqid_ds ds {};
  ASSERT_EQ(msgctl(msgget(key_, 0), IPC_STAT, &ds), 0);
  ds.msg_perm.uid = 65534;  // handed to another user
  ASSERT_EQ(msgctl(msgget(key_, 0), IPC_SET, &ds), 0);
  const int theirs = msgget(key_, 0);
  EXPECT_EQ(MSltOpen(1, dir_.at("q").c_str(), 1, 0), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(msgget(key_, 0), theirs) << "their queue stays";
}

// Runs `what` on queue `qid` in a child process, which then ends or, with
// `stay`, waits until it is killed. Returns the child's pid.
pid_t child_on(int qid, bool stay, void (*what)(int)) {
  int done[2];
  if (pipe(done) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    what(qid);
    if (write(done[1], "x", 1) != 1) _exit(1);
    while (stay) pause();
    _exit(0);
  }
  char c;
  if (read(done[0], &c, 1) != 1) c = 0;
  close(done[0]);
  close(done[1]);
  if (!stay) waitpid(pid, nullptr, 0);
  return pid;
}

void receive_once(int qid) { MSltMarkInUse(qid); }
void send_once(int qid) { MSltSend(qid, 1, "x", 1, 1); }

// Another session's queue under the same key (ftok keys collide) is left
// alone while a live process uses it; one left by a process that has ended
// is replaced, even while its last sender lives.
TEST_F(MSlot, InUseQueuesStay) {
  const struct {
    const char* what;
    void (*child)(int);  // what another process did on the queue; null: nothing
    bool stay;           // that process lives on
    bool in_use;
  } rows[] = {
      {"received by a process that has ended", receive_once, false, false},
      {"received by a live process", receive_once, true, true},
      {"received by this process", nullptr, false, false},
      {"never received, sent by a live process", send_once, true, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    MSltClose(key_, 0);
    const int qid = msgget(key_, IPC_CREAT | IPC_EXCL | 0600);
    ASSERT_NE(qid, -1);
    pid_t pid = -1;
    if (row.child != nullptr) {
      pid = child_on(qid, row.stay, row.child);
    } else {
      MSltMarkInUse(qid);
    }
    EXPECT_EQ(MSltInUse(qid), row.in_use ? 1 : 0);
    const int opened = MSltOpen(1, dir_.at("q").c_str(), 1, 1);
    EXPECT_EQ(opened == -1, row.in_use);
    if (row.in_use) {
      EXPECT_EQ(errno, EBUSY);
      EXPECT_EQ(msgget(key_, 0), qid) << "their queue stays";
    } else {
      EXPECT_NE(opened, qid) << "made anew";
      EXPECT_EQ(MSltInUse(opened), 0) << "marked as this process's own";
    }
    if (pid > 0 && row.stay) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  // A queue whose use cannot be looked at counts as in use: it stays.
  MSltClose(key_, 0);
  const int unknown = msgget(key_, IPC_CREAT | IPC_EXCL | 0600);
  al_os_fail_nth(AL_OS_MSGCTL, 1, EIO);
  EXPECT_EQ(MSltInUse(unknown), -1);
  al_os_fail_nth(AL_OS_MSGCTL, 2, EIO);  // the owner's look passes, the use's fails
  EXPECT_EQ(MSltOpen(1, dir_.at("q").c_str(), 1, 1), -1);
  EXPECT_EQ(msgget(key_, 0), unknown);
  al_os_reset();
  // The judgement alone, with queues of any age: pid 10 is this process,
  // 20 lives, 30 has ended.
  const struct {
    pid_t receiver, sender;
    long age;
    int in_use;
  } judged[] = {{0, 0, 0, 1},     {0, 0, MSLT_FRESH_SECONDS - 1, 1}, {0, 0, MSLT_FRESH_SECONDS, 0},
                {0, 20, 999, 1},  {0, 30, 999, 0},                  {0, 10, 0, 1},
                {0, 10, 999, 0},  {20, 30, 999, 1},                 {30, 20, 0, 0},
                {10, 20, 0, 0}};
  for (const auto& j : judged) {
    SCOPED_TRACE(std::to_string(j.receiver) + " " + std::to_string(j.sender) + " " + std::to_string(j.age));
    const auto alive = [](pid_t pid) { return pid == 10 || pid == 20; };
    EXPECT_EQ(MSltJudgeInUse({j.receiver, j.sender, 1000}, 10, 1000 + j.age, alive), j.in_use);
  }
}

// Nothing coming: one blocking wait for the whole time-out, however long, so
// an idle process does not wake per tick. A set interrupt flag ends the wait.
TEST_F(MSlot, TimedReceiveAttempts) {
  for (const auto& [timeout, calls] : {std::pair{0, 1L}, {1, 5L}, {300, 5L}}) {
    al_os_reset();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(MSltRecv(key_, 0, timeout, buf_, &len_, 0), -1);
    EXPECT_EQ(errno, ENOMSG);
    EXPECT_EQ(len_, -1);
    EXPECT_LE(al_os_calls(AL_OS_MSGRCV), calls) << "time-out " << timeout;
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(timeout));
  }
  volatile std::sig_atomic_t flag = 1;
  MSltSetInterrupt(&flag);
  EXPECT_EQ(MSltRecv(key_, 0, 100000, buf_, &len_, 0), -1);
  EXPECT_EQ(errno, EINTR);
  ASSERT_TRUE(put("here"));
  EXPECT_EQ(MSltRecv(key_, 0, -1, buf_, &len_, 0), 1) << "a waiting message is still taken";
}

TEST_F(MSlot, TextsAreCutToTheirRoom) {
  const struct {
    std::string text;
    long type;
    std::size_t size;  // of the destination
    int result;
    int len;
    std::string kept;  // the destination up to its size
  } cases[] = {
      {std::string(6000, 'a'), 3, 4097, 3, MSLT_MAX_TEXT + 1, std::string(4096, 'a') + '\0'},
      {std::string(3000, 'c'), 1, 1024, 1, 3000, std::string(1023, 'c') + '\0'},
      {std::string("12345\0", 6), 1, 8, 1, 5, std::string("12345\0", 6)},  // a sent NUL is no text
      {"abc", 1, 0, 1, 3, ""},
      {"big", static_cast<long>(INT_MAX) + 5, 8, -1, 3, std::string("big\0", 4)},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(put(c.text, c.type));
    std::string dest(c.size + 8, '#');
    EXPECT_EQ(MSltRecvSized(key_, 0, 0, dest.data(), c.size, &len_, 0), c.result) << c.size;
    EXPECT_EQ(len_, c.len) << c.size;
    EXPECT_EQ(dest.substr(0, c.kept.size()), c.kept) << c.size;
    EXPECT_EQ(dest.substr(c.size), std::string(8, '#')) << c.size;
  }
}

void own_alarm(int) {}

// A full queue nobody reads fails the send after the send wait; the waits
// give the caller's SIGALRM handler back.
TEST_F(MSlot, AFullQueueAndTheCallersAlarm) {
  struct sigaction mine {}, before {};
  mine.sa_handler = own_alarm;
  ASSERT_EQ(sigaction(SIGALRM, &mine, &before), 0);
  const std::string text(MSLT_MAX_TEXT, 'f');
  MSltSetSendWait(-5);
  EXPECT_EQ(MSltGetSendWait(), 0);
  int sent = 0;
  while (sent < 1000 && MSltSend(key_, 1, text.c_str(), MSLT_MAX_TEXT, 0) == 1) ++sent;
  EXPECT_EQ(errno, EAGAIN);
  al_os_reset();
  MSltSetSendWait(30);
  EXPECT_EQ(MSltSend(key_, 1, text.c_str(), MSLT_MAX_TEXT, 0), 0);
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_GE(al_os_calls(AL_OS_MSGSND), 2) << "it waited for room";
  EXPECT_EQ(MSltPending(key_, 0), sent);
  struct sigaction now {};
  sigaction(SIGALRM, &before, &now);
  EXPECT_EQ(now.sa_handler, own_alarm);
}

}  // namespace
