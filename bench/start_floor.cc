// start_floor: the least a process started as taxapi can do before it is
// ready - create its input queue, open the output queue, send the ready
// text - and then it exits. capacity_tool times its start beside taxapi's;
// the launcher removes the input queue it leaves.
//
//   start_floor inq outq ptype stype
#include <sys/msg.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  struct {
    long type;
    char text[64];
  } ready {1, {}};
  std::snprintf(ready.text, sizeof ready.text, "10~0~%s~%s~0~~", argv[3], argv[4]);
  const int in = msgget(ftok(argv[1], 1), IPC_CREAT | 0600);
  const int out = msgget(ftok(argv[2], 1), 0);
  return in != -1 && out != -1 && msgsnd(out, &ready, std::strlen(ready.text) + 1, 0) == 0 ? 0 : 1;
}
