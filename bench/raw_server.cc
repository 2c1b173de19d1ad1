// raw_server: answers like taxapi and does nothing else - the floor under
// taxapi's throughput. load_tool --raw drives it with the very clients that
// drive taxapi, so what the two figures differ by is taxapi's own work.
//
//   raw_server inq outq ptype stype FIRST_DOLLARS
//
// It starts as taxapi does (creates its input queue, opens the output queue,
// sends the ready text), then answers an action message with the
// acknowledgement and a data message with the status and the result its
// client expects. That client asks for FIRST_DOLLARS, FIRST_DOLLARS + 4, ...
// in turn (see load_tool.cc), so the result is known without reading the
// request or computing a tax. The terminate message, its input queue
// removed, or SIGINT, SIGTERM or SIGHUP end it with both queues removed, as
// they end taxapi.
#include <signal.h>
#include <sys/msg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_support.h"

namespace {

struct Message {
  long type;
  char text[4097];
};

bool send(int qid, const std::string& text) {
  static Message m;
  m.type = 1;
  std::memcpy(m.text, text.c_str(), text.size() + 1);  // with its NUL, as taxapi sends
  return msgsnd(qid, &m, text.size() + 1, 0) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: raw_server inq outq ptype stype FIRST_DOLLARS\n");
    return 2;
  }
  bench::catch_stop_signals();
  const int stype = std::atoi(argv[4]);
  long dollars = std::atol(argv[5]);
  const std::string head = std::string(argv[3]) + "~" + argv[4];
  const std::string ack = "10~0~" + head + "~0~~";  // also the ready text
  const std::string status = "6~1~" + head + "~1~0~";
  const int in = msgget(ftok(argv[1], 1), IPC_CREAT | 0600);
  const int out = msgget(ftok(argv[2], 1), 0);
  if (in != -1 && out != -1 && send(out, ack)) {
    static Message m;
    while (!bench::stop_requested() && msgrcv(in, &m, sizeof m.text - 1, 0, MSG_NOERROR) >= 0) {
      if (std::strncmp(m.text, "4~", 2) == 0) break;
      if (std::strncmp(m.text, "8~", 2) == 0) {
        send(out, ack);
      } else if (std::strncmp(m.text, "9~", 2) == 0) {
        send(out, status);
        send(out, bench::expected_result(stype, dollars));
        dollars += 4;
      }
    }
  }
  if (in != -1) msgctl(in, IPC_RMID, nullptr);
  if (out != -1) msgctl(out, IPC_RMID, nullptr);
  return 0;
}
