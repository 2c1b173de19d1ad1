#include "avp_audit.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "avp_text.h"

namespace avp_standin {

namespace {

std::string money(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

// Journal fields are separated by '|': keep it out of copied request text.
std::string clean(std::string s) {
  for (char& c : s)
    if (c == '|' || static_cast<unsigned char>(c) < 0x20) c = ' ';
  return s;
}

}  // namespace

std::string audit_line(long seq, std::time_t when, const Tax_Str& tax, const Jur_Str& jur,
                       const CalcSummary& summary) {
  std::tm tm{};
  gmtime_r(&when, &tm);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::string line = stamp;
  auto add = [&line](const std::string& field) {
    line += '|';
    line += field;
  };
  add(std::to_string(seq));
  add(clean(field_text(tax.text_783, sizeof tax.text_783)));
  add(clean(field_text(tax.text_268, sizeof tax.text_268)));
  add(summary.state);
  add(summary.zip);
  add(summary.geo);
  add(std::string(1, summary.title));
  add(money(summary.base));
  add(std::to_string(tax.GenCmplCd));
  add(std::to_string(jur.JurCmplCd));
  for (int k = 0; k < AVP_LEVELS; ++k) add(money(tax.level_out_dbl[k]));
  add(money(summary.total));
  line += '\n';
  return line;
}

// One open, one write and one close a line: a journal line lands whole,
// without a stream's buffering and seeking.
bool audit_append(const std::string& path, const std::string& line) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd == -1) return false;
  bool ok = line.empty() || write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  if (close(fd) != 0) ok = false;
  return ok;
}

}  // namespace avp_standin
