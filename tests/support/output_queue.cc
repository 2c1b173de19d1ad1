#include "output_queue.h"

#include "al_mslot.h"
#include "api_tarn.h"

namespace test_util {

OutputQueue::OutputQueue() {
  if (!dir_.ok()) return;
  const std::string file = dir_.touch("outq");
  int id = -1;
  if (MSltOpenKeyId(1, file.c_str(), 1, &key_, &id) != 0) key_ = -1;
  api_queues.msq_out = key_;
  msq_out_id = id;
}

OutputQueue::~OutputQueue() {
  if (key_ != -1) MSltClose(key_, 0);
  api_queues.msq_out = -1;
  msq_out_id = -1;
}

std::optional<std::string> OutputQueue::receive(int ms) const {
  char text[MSLT_MAX_TEXT + 1] = {};
  int len = -1;
  const int type = MSltRecv(key_, 0, ms, text, &len, 0);
  if (type <= 0 || len < 0) return std::nullopt;
  return std::string(text);
}

std::vector<std::string> OutputQueue::drain() const {
  std::vector<std::string> out;
  while (std::optional<std::string> m = receive(0)) out.push_back(*m);
  return out;
}

}  // namespace test_util
