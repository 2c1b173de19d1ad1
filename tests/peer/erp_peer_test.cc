// ErpPeer::request: why an exchange stops early, against queues the test
// fills itself (the child is a plain sleeper, never a taxapi).
#include "erp_peer.h"

#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "gtest/gtest.h"
#include "test_util.h"

namespace {

// A directory of its own, removed with its content.
struct ScratchDir : test_util::TempDir {
  ScratchDir() : test_util::TempDir("peer_test_") {}
};

// The process's input queue, made by the test (the peer never makes it) and
// removed again whatever happens.
class InputQueue {
 public:
  explicit InputQueue(const std::string& path) {
    const key_t key = ftok(path.c_str(), 1);
    if (key != -1) id_ = msgget(key, IPC_CREAT | 0600);
  }
  ~InputQueue() {
    if (id_ != -1) msgctl(id_, IPC_RMID, nullptr);
  }
  InputQueue(const InputQueue&) = delete;
  InputQueue& operator=(const InputQueue&) = delete;
  bool ok() const { return id_ != -1; }

 private:
  int id_ = -1;
};

struct Text {
  long mtype;
  char mtext[64];
};

// Puts `text` on the output queue as though the process had replied.
bool reply(const erp::ErpPeer& peer, const char* text) {
  Text m{1, {}};
  std::strncpy(m.mtext, text, sizeof m.mtext - 1);
  return msgsnd(peer.output_queue_id(), &m, std::strlen(m.mtext) + 1, IPC_NOWAIT) == 0;
}

erp::PeerOptions sleeper(const std::string& dir) {
  erp::PeerOptions o;
  o.taxapi = "/bin/sleep";
  o.dir = dir;
  o.args = std::vector<std::string>{"30"};
  o.timeout_ms = 300;
  return o;
}

// A sleeper spawned as the process, with its input queue: every reply is the
// test's to give. Members go in reverse: queue, peer (child ended), directory.
class SilentProcess {
 public:
  SilentProcess() : peer_(sleeper(dir_.path())) {}
  // Spawns the child and makes the input queue; false when either fails.
  bool start() {
    if (dir_.path().empty() || !peer_.spawn()) return false;
    queue_ = std::make_unique<InputQueue>(peer_.inq_path());
    return queue_->ok();
  }
  erp::ErpPeer& peer() { return peer_; }

 private:
  ScratchDir dir_;
  erp::ErpPeer peer_;
  std::unique_ptr<InputQueue> queue_;
};

TEST(ErpPeerRequest, NoInputQueueStopsAtTheActionMessage) {
  ScratchDir dir;
  ASSERT_FALSE(dir.path().empty());
  erp::ErpPeer peer(sleeper(dir.path()));
  const erp::Exchange ex = peer.request(1, 1, "");
  EXPECT_EQ(ex.problem, "cannot send the action message");
  EXPECT_FALSE(ex.ok);
  EXPECT_TRUE(ex.replies.empty());
}

TEST(ErpPeerRequest, NoProcessMeansNoReply) {
  ScratchDir dir;
  ASSERT_FALSE(dir.path().empty());
  erp::ErpPeer peer(sleeper(dir.path()));
  const std::string inq = dir.path() + "/inq";
  std::FILE* f = std::fopen(inq.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  InputQueue queue(inq);
  ASSERT_TRUE(queue.ok());
  const erp::Exchange ex = peer.request(1, 1, "");
  EXPECT_EQ(ex.problem, "no reply to the action message (the process has exited)");
}

TEST(ErpPeerRequest, EachStageNamesWhatWentWrong) {
  const struct {
    std::vector<const char*> replies;
    const char* problem;
  } cases[] = {
      {{"6~1~1~1~1~0~"}, "unexpected reply to the action message"},
      {{"10~0~1~1~0~~", "10~0~1~1~0~~"}, "unexpected reply to the data message"},
      {{"10~0~1~1~0~~"}, "no reply to the data message (time-out)"},
      {{"10~0~1~1~0~~", "6~1~1~1~2~0~", "7~1~1~1~1~A~"}, "result 2 of 2 missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    SilentProcess process;
    ASSERT_TRUE(process.start());
    for (const char* r : c.replies) ASSERT_TRUE(reply(process.peer(), r));
    const erp::Exchange ex = process.peer().request(1, 1, "x~");
    EXPECT_EQ(ex.problem, c.problem);
    EXPECT_FALSE(ex.ok);
    EXPECT_FALSE(ex.error);
    EXPECT_EQ(ex.replies.size(), c.replies.size());
  }
}

TEST(ErpPeerRequest, ErrorReplyEndsTheExchangeWithItsCode) {
  SilentProcess process;
  ASSERT_TRUE(process.start());
  ASSERT_TRUE(reply(process.peer(), "10~0~1~1~0~~"));
  ASSERT_TRUE(reply(process.peer(), "5~0~1~1~0~1205.000000~"));
  const erp::Exchange ex = process.peer().request(1, 1, "x~");
  EXPECT_TRUE(ex.error);
  EXPECT_DOUBLE_EQ(ex.error_code, 1205.0);
  EXPECT_TRUE(ex.problem.empty()) << ex.problem;
  EXPECT_FALSE(ex.ok);
}

}  // namespace
