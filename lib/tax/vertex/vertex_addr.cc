#include "vertex_addr.h"

#include <cstdio>
#include <cstring>

#include "api_log.h"
#include "api_reply.h"
#include "vertex_log.h"
#include "vertex_session.h"

namespace {

// The engine writes names and geo codes here first: it is given no capacity
// for the geo code, and a text that breaks its width must not reach the next
// member. Only the member's width is copied over.
constexpr std::size_t kEngineTextSize = 256;

void copy_bounded(char* member, std::size_t width, const char* from) {
  std::memset(member, 0, width);
  std::memcpy(member, from, strnlen(from, width));
}

void fill_location(LocHdl loc, VertexLocation* entry) {
  char text[kEngineTextSize];
  vertex_session.LocGetGeoCodeAdd(loc);
  // Each capacity is one less than its member, whose last byte stays NUL.
  struct Name {
    int level, flag, capacity;
    char* member;
  };
  static_assert(sizeof entry->city == 25 + 1 && sizeof entry->state == 2 + 1 && sizeof entry->county == 20 + 1);
  const Name names[] = {
      {eLocLevelCity, 1, 25, entry->city},
      {eLocLevelState, 0, 2, entry->state},
      {eLocLevelCounty, 1, 20, entry->county},
  };
  for (const Name& name : names) {
    std::memset(text, 0, sizeof text);
    vertex_session.LocGetNameAdd(loc, name.level, name.flag, text, name.capacity);
    text[sizeof text - 1] = '\0';
    copy_bounded(name.member, static_cast<std::size_t>(name.capacity), text);
  }
  std::memset(text, 0, sizeof text);
  vertex_session.LocGetGeoCodeStringAdd(loc, text, 0, 0, 0);
  text[sizeof text - 1] = '\0';
  copy_bounded(entry->geo_code, sizeof entry->geo_code, text);
}

}  // namespace

namespace {

// The search in the find context `ctx` (which the caller destroys): the
// criteria, then every batch of locations up to VTX_MAX_CANDIDATES.
int search(LocFindCtx ctx, VertexAddrRec* rec) {
  // The criteria get terminated copies: a 7-character ZIP code fills its member.
  char zip[sizeof rec->zip + 1] = {};
  std::memcpy(zip, rec->zip, strnlen(rec->zip, sizeof rec->zip));
  if (vertex_session.LocSetNameCriteriaAdd(ctx, 2, 0, rec->state, 0, 0, 0, 1, rec->city, 0, zip) == 0) {
    VTX_LOG("LocSetNameCriteria failed, returned FALSE.\n");
    return VTX_ADDR_NOT_FOUND;
  }
  VTX_LOG("LocSetNameCriteria passed.\n");

  rec->count = 0;
  LocHdl batch[VTX_MAX_LOCATIONS];
  // Every batch counts at least one location, so the cap also bounds the
  // number of batches.
  while (rec->count < VTX_MAX_CANDIDATES) {
    std::memset(batch, 0, sizeof batch);
    int more = 0;
    const int n = vertex_session.LocGetLocationsAdd(ctx, batch, VTX_MAX_LOCATIONS, &more);
    if (n == 0) break;
    if (n < 0 || n > VTX_MAX_LOCATIONS) {
      // More handles than asked for cannot be read or released safely.
      VTX_LOG("LocGetLocations failed, returned %d.\n", n);
      return VTX_ADDR_ENGINE_FAILED;
    }
    const int room = VTX_MAX_CANDIDATES - rec->count;
    const int keep = n < room ? n : room;
    for (int i = 0; i < keep; ++i) {
      VertexLocation* entry = &rec->locations[rec->count + i];
      std::memset(entry, 0, sizeof *entry);
      fill_location(batch[i], entry);
    }
    rec->count += keep;
    if (vertex_session.LocReleaseAdd(batch, n) != 1) return VTX_ADDR_ENGINE_FAILED;
  }
  if (rec->count == VTX_MAX_CANDIDATES) {
    VTX_LOG("LocGetLocations: %d locations kept, the search stops there.\n", VTX_MAX_CANDIDATES);
  }
  if (rec->count == 0) {
    VTX_LOG("LocGetLocations failed, returned 0.\n");
    return VTX_ADDR_NOT_FOUND;
  }
  VTX_LOG("LocGetLocations passed.\n");
  return VTX_ADDR_FOUND;
}

}  // namespace

int determine_addr_vertex(VertexAddrRec* rec) {
  if (rec == nullptr) return VTX_ADDR_ENGINE_FAILED;
  if (!vertex_loc_ready()) {
    VTX_LOG("Location engine not open.\n");
    return VTX_ADDR_ENGINE_FAILED;
  }
  LocFindCtx ctx = vertex_session.LocCreateFindContextAdd(vertex_session.pLocConn);
  if (ctx == nullptr) {
    VTX_LOG("LocCreateFindContext failed, returned NULL.\n");
    return VTX_ADDR_ENGINE_FAILED;
  }
  VTX_LOG("LocCreateFindContext passed.\n");
  const int result = search(ctx, rec);
  // The context is destroyed on every path; its answer counts only after a
  // search that found something.
  const int destroyed = vertex_session.LocDestroyFindContextAdd(ctx);
  if (result != VTX_ADDR_FOUND) return result;
  if (destroyed == 1) {
    VTX_LOG("LocDestroyFindContext passed.\n");
    return VTX_ADDR_FOUND;
  }
  VTX_LOG("LocDestroyFindContext failed, returned FALSE.\n");
  return VTX_ADDR_ENGINE_FAILED;
}

int format_vertex_addr_status(const VertexAddrRec* rec, char* out, std::size_t size) {
  std::memset(out, 0, size);
  return static_cast<int>(ApiReplyWriter(out, size)
                              .header(API_MSG_STATUS, API_ACTION_ADDRESS, API_STYPE_VERTEX, rec->count)
                              .printf("0~")
                              .length());
}

int format_vertex_addr_result(const VertexAddrRec* rec, int index, char* out, std::size_t size) {
  std::memset(out, 0, size);
  const VertexLocation& loc = rec->locations[index];
  ApiReplyWriter w(out, size);
  w.header(API_MSG_RESULT, API_ACTION_ADDRESS, API_STYPE_VERTEX, index + 1);
  w.field(loc.city, sizeof loc.city).field(loc.state, sizeof loc.state).field(rec->zip, sizeof rec->zip);
  w.field(loc.geo_code, sizeof loc.geo_code).field(loc.county, sizeof loc.county);
  return static_cast<int>(w.length());
}

int send_vertex_addr(const VertexAddrRec* rec, char* out) {
  if (rec == nullptr || out == nullptr) return 1;
  format_vertex_addr_status(rec, out, API_TEXT_SIZE);
  if (api_send_text(out, API_REPLY_MTYPE) != 0) return 1;
  if (rec->count < 1) return 0;
  const int count = rec->count > VTX_MAX_CANDIDATES ? VTX_MAX_CANDIDATES : rec->count;
  for (int i = 0; i < count; ++i) {
    format_vertex_addr_result(rec, i, out, API_TEXT_SIZE);
    if (api_send_text(out, API_REPLY_MTYPE) != 0) return 1;
  }
  return 0;
}
