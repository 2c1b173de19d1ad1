// replay: `taxapi-client replay FILE` - sends every request of a request
// file (request_file.h) and reports each exchange; --record writes the
// replies in their stable text form (recording.h), --expect compares them
// with a recorded run.
//
// One taxapi process serves each sub-provider met in the file: it is started
// at the first request for it (its start-up is an exchange of its own,
// "start avp"), serves every later one and is terminated at the end; one
// that has ended is started anew for the next request. Their queue files
// are made in DIR/avp and DIR/vertex.
#pragma once

#include <string>

#include "erp_peer.h"

namespace erp {

struct ReplayOptions {
  PeerOptions peer;    // taxapi, queue directory, environment, time-out
  bool json = false;   // one JSON object per exchange instead of text
  std::string record;  // file to write the replies to, or empty
  std::string expect;  // recorded file to compare with, or empty
};

// Runs the replay of `file`. Exit status: 2 for a faulty request or record
// file; with --expect 1 when anything differs from the record, else 0;
// without it 1 when a reply is an error or missing, else 0.
int run_replay(const std::string& file, const ReplayOptions& options);

}  // namespace erp
