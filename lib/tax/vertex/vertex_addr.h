// vertex_addr: the Vertex address lookup - request record, search in the
// location database of the open session, and the reply (the request is
// parsed by vertex_parse).
//
// The record is owned by whoever allocated it (zero-filled, one per request).
// Texts are plain characters ended by a zero byte or by the end of their
// member.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vtx_he.h"

struct VertexLocation {
  char city[26];      // LocGetName level 2, flag 1, at most 25 characters
  char state[3];      // LocGetName level 0, flag 0, at most 2
  char county[21];    // LocGetName level 1, flag 1, at most 20
  char geo_code[10];  // LocGetGeoCodeString, at most 10
};
static_assert(offsetof(VertexLocation, state) == 26);
static_assert(offsetof(VertexLocation, county) == 29);
static_assert(offsetof(VertexLocation, geo_code) == 50);
static_assert(sizeof(VertexLocation) == 60);

// Candidates one lookup answers with at most, as many as the Taxware
// lookup: the engine's batches (of VTX_MAX_LOCATIONS) are all kept up to
// here, and the search stops fetching once it is reached.
constexpr int VTX_MAX_CANDIDATES = 300;

struct VertexAddrRec {
  char city[26];  // field 6, at most 25 characters
  char state[3];  // field 7, at most 2
  char zip[7];    // field 8, at most 7 (no room for a terminator then)
  VertexLocation locations[VTX_MAX_CANDIDATES];
  std::int32_t count;  // valid entries of `locations`
};
static_assert(offsetof(VertexAddrRec, state) == 26);
static_assert(offsetof(VertexAddrRec, zip) == 29);
static_assert(offsetof(VertexAddrRec, locations) == 36);
static_assert(offsetof(VertexAddrRec, count) == 36 + 300 * 60);
static_assert(sizeof(VertexAddrRec) == 18040);

// Search results.
enum { VTX_ADDR_FOUND = 0, VTX_ADDR_ENGINE_FAILED = 1, VTX_ADDR_NOT_FOUND = 2 };

// Runs the search: 0 found (`count` entries, every batch the engine
// delivered, at most VTX_MAX_CANDIDATES), 1 the engine failed, 2 the
// criteria were refused or nothing matched. The find context is destroyed on
// every path after it was made.
int determine_addr_vertex(VertexAddrRec* rec);
// Sends the status message and one result message per location from `out`
// (the cleared API_TEXT_SIZE-byte output text): 0 all sent, 1 a send failed.
int send_vertex_addr(const VertexAddrRec* rec, char* out);

// The reply texts of send_vertex_addr, built into `out` (`size` bytes); for
// the result of entry `index` (0-based). Return the length written.
int format_vertex_addr_status(const VertexAddrRec* rec, char* out, std::size_t size);
int format_vertex_addr_result(const VertexAddrRec* rec, int index, char* out, std::size_t size);
