#include "progress_bar.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace erp {

namespace {

constexpr std::size_t kWidth = 40;

}  // namespace

ProgressBar::ProgressBar(std::size_t total) : total_(total), enabled_(total > kMinTotal && isatty(2) == 1) {}

void ProgressBar::show(std::size_t done) {
  if (!enabled_) return;
  const std::size_t filled = done * kWidth / total_;
  const std::string bar = std::string(filled, '#') + std::string(kWidth - filled, '.');
  std::fprintf(stderr, "\r[%s] %zu/%zu", bar.c_str(), done, total_);
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::clear() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace erp
