// bench_support: what the round-trip benchmark and the load tool share: the
// real taxapi started with a stand-in engine and its sample data, a tax
// request for a given amount, and the one result the sample data gives for it.
//
// Amounts are whole multiples of 4 dollars: at the sample rates (Taxware,
// CA/San Albero: 6 %, 0.25 %, 1 %, 0.25 %; Vertex, BR/Millbrook: 5 %, 1 %,
// 1.25 %) every tax of such an amount is a whole number of cents, so the
// expected reply is exact text, with no rounding rule to second-guess.
#pragma once

#include <sys/types.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "erp_peer.h"

namespace bench {

constexpr int kTaxware = 1;  // sub-provider numbers (the process's fourth argument)
constexpr int kVertex = 2;

// Options that start `taxapi` (default: the one built with this tool) for
// sub-provider `stype` with the stand-in engine and its sample data. Queue
// files, engine work files and logs go under `dir`; logs off, the default
// receive time-out.
erp::PeerOptions engine_options(int stype, const std::string& dir, const std::string& taxapi = "");

// The data-message body of a tax request for `dollars` (a multiple of 4)
// with invoice number `invoice`.
std::string tax_body(int stype, long dollars, const std::string& invoice);

// The result message the sample data gives for that request.
std::string expected_result(int stype, long dollars);

// The amount a result of either engine was computed for (read back from its
// state tax), or -1 when `reply` is no such result.
long result_dollars(std::string_view reply);

// A new directory under $TMPDIR (or /tmp); empty on failure.
std::string make_temp_dir(const char* name);
void remove_tree(const std::string& dir);

// Makes `dir` with the queue files an erp::ErpPeer uses there (inq, outq),
// each under a key that no file in `keys` has and no queue on the host
// stands under, and adds the keys to `keys`. False when that cannot be done.
// Why: ftok keeps 16 bits of the inode, so files share keys now and then,
// and an ErpPeer makes its output queue anew under its key - a collision
// would remove another session's queue (root owns every queue here).
bool make_queue_files(const std::string& dir, std::set<key_t>* keys);

// From now on SIGINT, SIGTERM and SIGHUP only set a flag, in this process and
// the processes it forks (not in programs they exec), so a tool stopped by
// Ctrl-C ends what it started and removes every queue it made. Blocking
// read, msgrcv and waitpid then return early with EINTR.
void catch_stop_signals();
bool stop_requested();

// Reads up to `limit` bytes, until end of file (every writer closed its end
// or died) or a stop signal.
std::vector<char> read_all(int fd, std::size_t limit);

// waitpid through interruptions: the child is gone when it returns.
void reap(pid_t pid);

}  // namespace bench
