// The location library of the stand-in Vertex engine (libloc.so): its 12
// entry points.
//
// The declarations are made visible here and everything else in the library
// is hidden; the link (engines/vertex/CMakeLists.txt) decides which entry
// points leave the library, so the tests' copies without one of them need no
// other build of this file.
#pragma GCC visibility push(default)
#include "vtx_he.h"
#pragma GCC visibility pop

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "vtx_control.h"
#include "vtx_data_file.h"
#include "vtx_entry_util.h"
#include "vtx_geo_db.h"
#include "vtx_registry.h"
#include "vtx_text.h"

namespace {

using vtx::Control;
using vtx::DataStatus;
using vtx::GeoDb;
using vtx::guarded;
using vtx::result_of;

constexpr long long kNone = Control::kNoSelector;

struct LocConn {
  std::shared_ptr<const GeoDb> db;
};

// One search: its criteria's matches (place indices) and how far the
// batches have got. Holds the database, so closing the connection is safe.
struct FindCtx {
  std::shared_ptr<const GeoDb> db;
  bool criteria_set = false;
  std::vector<std::size_t> matches;
  std::size_t next = 0;
};

// One location handed out by LocGetLocations, alive until LocRelease.
struct LocItem {
  std::shared_ptr<const GeoDb> db;
  std::size_t place = 0;
};

vtx::Registry<LocConn>& conns() {
  static vtx::Registry<LocConn> r;
  return r;
}

vtx::Registry<FindCtx>& contexts() {
  static vtx::Registry<FindCtx> r;
  return r;
}

vtx::Registry<LocItem>& items() {
  static vtx::Registry<LocItem> r;
  return r;
}

int status_of(DataStatus s) {
  switch (s) {
    case DataStatus::kOk: return eLocDbRetNone;
    case DataStatus::kNoSource:
    case DataStatus::kUnreadable: return eLocDbRetInvalidDataSource;
    case DataStatus::kWrongKind:
    case DataStatus::kBadVersion: return eLocDbRetInvalidVersion;
    case DataStatus::kBadUser:
    case DataStatus::kBadPassword: return eLocDbRetAdminReadFailed;
    case DataStatus::kMalformed: return eLocDbRetDatabaseError;
  }
  return eLocDbRetDatabaseError;
}

int open_location(LocConn* c, const char* source, const char* server, const char* user,
                  const char* password) {
  std::string path;
  if (!vtx::resolve_source(source, server, "location.dat", &path))
    return eLocDbRetInvalidDataSource;
  std::vector<vtx::Record> records;
  DataStatus s = vtx::read_data_file(path, "location", user, password, &records);
  if (s != DataStatus::kOk) return status_of(s);
  auto db = std::make_shared<GeoDb>();
  if (!db->load(records)) return eLocDbRetDatabaseError;
  c->db = std::move(db);
  return eLocDbRetNone;
}

// The place behind the n-th location of a search: the matches in order, or,
// when the control file asks for more, the matches (or all places) again.
bool nth_place(const FindCtx& ctx, std::size_t n, std::size_t* place) {
  if (!ctx.matches.empty()) {
    *place = ctx.matches[n % ctx.matches.size()];
    return true;
  }
  if (ctx.db->place_count() == 0) return false;
  *place = n % ctx.db->place_count();
  return true;
}

// The name of a level of a location; false for an unknown level.
bool name_of(const LocItem& item, int level, int flag, std::string* out) {
  const vtx::GeoPlace* p = item.db->place_at(item.place);
  if (p == nullptr) return false;
  switch (level) {
    case eLocLevelState: {
      const vtx::GeoState* s = item.db->state(vtx::geo_state(p->geo));
      if (s == nullptr) return false;
      *out = flag == 0 ? s->abbr : s->name;
      return true;
    }
    case eLocLevelCounty: {
      const vtx::GeoCounty* c = item.db->county(vtx::geo_county_key(p->geo));
      if (c == nullptr) return false;
      *out = flag == 0 ? vtx::to_upper(c->name) : c->name;
      return true;
    }
    case eLocLevelCity:
      *out = flag == 0 ? vtx::to_upper(p->city) : p->city;
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" {

LocConnHdl LocCreateConnHdl(void) { return vtx::create_entry("LocCreateConnHdl", conns()); }

int LocReleaseConnHdl(LocConnHdl conn) {
  return vtx::release_entry("LocReleaseConnHdl", conns(), conn);
}

int LocOpenDb(LocConnHdl conn, const char* source, const char* server, const char* user,
              const char* password, int mode) {
  return guarded(static_cast<int>(eLocDbRetDatabaseError), [&] {
    Control ctl = Control::load("LocOpenDb");
    LocConn* c = conns().find(conn);
    int st;
    bool opened_here = false;
    if (c == nullptr) {
      st = eLocDbRetDatabaseError;
    } else if (c->db != nullptr) {
      st = eLocDbRetDbExists;
    } else if (mode != 0) {
      st = eLocDbRetInvalidAccessMode;
    } else {
      st = open_location(c, source, server, user, password);
      opened_here = st == eLocDbRetNone;
    }
    int forced = result_of(ctl, "LocOpenDb", kNone, st);
    if (forced != eLocDbRetNone && opened_here) c->db.reset();
    return forced;
  });
}

int LocCloseDb(LocConnHdl conn) {
  return guarded(static_cast<int>(eLocDbRetDatabaseError), [&] {
    Control ctl = Control::load("LocCloseDb");
    LocConn* c = conns().find(conn);
    int st = eLocDbRetDatabaseError;
    if (c != nullptr && c->db != nullptr) {
      c->db.reset();
      st = eLocDbRetNone;
    }
    return result_of(ctl, "LocCloseDb", kNone, st);
  });
}

int LocDestroyFindContext(LocFindCtx ctx) {
  return vtx::release_entry("LocDestroyFindContext", contexts(), ctx);
}

int LocRelease(LocHdl* locations, int count) {
  return guarded(0, [&] {
    Control ctl = Control::load("LocRelease");
    int ok = count >= 0 && (locations != nullptr || count == 0) ? 1 : 0;
    for (int i = 0; ok != 0 && i < count; ++i) {
      // Every handle is released that can be; a foreign one spoils the result.
      if (!items().remove(locations[i])) ok = 2;
    }
    return result_of(ctl, "LocRelease", kNone, ok == 1 ? 1 : 0);
  });
}

int LocGetGeoCodeString(LocHdl loc, char* geo_code, int, int, int) {
  return guarded(0, [&] {
    Control ctl = Control::load("LocGetGeoCodeString");
    LocItem* item = items().find(loc);
    const vtx::GeoPlace* p = item != nullptr ? item->db->place_at(item->place) : nullptr;
    int ok = p != nullptr && geo_code != nullptr ? 1 : 0;
    if (ok) {
      char own[32];
      std::snprintf(own, sizeof own, "%09lld", p->geo);
      std::string text;
      if (!ctl.get_text("LocGetGeoCodeString", kNone, "text", &text)) text = own;
      // At most VTX_GEO_CODE_SIZE characters; the terminator only when fewer.
      std::size_t n = text.size() < VTX_GEO_CODE_SIZE ? text.size() : VTX_GEO_CODE_SIZE;
      std::memcpy(geo_code, text.data(), n);
      if (n < VTX_GEO_CODE_SIZE) geo_code[n] = '\0';
    }
    return result_of(ctl, "LocGetGeoCodeString", kNone, ok);
  });
}

int LocGetName(LocHdl loc, int level, int flag, char* name, int capacity) {
  return guarded(0, [&] {
    Control ctl = Control::load("LocGetName");
    LocItem* item = items().find(loc);
    std::string text;
    int ok = item != nullptr && name != nullptr && capacity >= 0 &&
                     name_of(*item, level, flag, &text)
                 ? 1
                 : 0;
    if (ok) {
      std::string forced;
      if (ctl.get_text("LocGetName", level, "text", &forced)) text = forced;
      vtx::copy_bounded(name, static_cast<std::size_t>(capacity) + 1, text);
    }
    return result_of(ctl, "LocGetName", level, ok);
  });
}

void LocGetGeoCode(LocHdl loc) {
  // The geo code is part of every location already; nothing to fetch.
  (void)loc;
}

int LocGetLocations(LocFindCtx ctx, LocHdl* locations, int max, int* more) {
  return guarded(0, [&] {
    Control ctl = Control::load("LocGetLocations");
    const char* e = "LocGetLocations";
    FindCtx* c = contexts().find(ctx);
    int n = 0;
    std::size_t total = 0;
    if (c != nullptr && c->criteria_set && locations != nullptr && max > 0) {
      total = c->matches.size();
      int forced_total = 0;
      if (ctl.get_int(e, kNone, "matches", &forced_total))
        total = forced_total > 0 ? static_cast<std::size_t>(forced_total) : 0;
      int batch = max;
      int forced_batch = 0;
      if (ctl.get_int(e, kNone, "batch", &forced_batch) && forced_batch > 0 &&
          forced_batch < max)
        batch = forced_batch;
      while (n < batch && c->next < total) {
        std::size_t place = 0;
        if (!nth_place(*c, c->next, &place)) break;
        auto item = std::make_unique<LocItem>();
        item->db = c->db;
        item->place = place;
        locations[n++] = items().add(std::move(item));
        ++c->next;
      }
    }
    if (more != nullptr) *more = c != nullptr && c->next < total ? 1 : 0;
    return result_of(ctl, e, kNone, n);
  });
}

int LocSetNameCriteria(LocFindCtx ctx, int kind, int, const char* state, int, int, int,
                       int city_flag, const char* city, int, const char* zip) {
  return guarded(0, [&] {
    Control ctl = Control::load("LocSetNameCriteria");
    FindCtx* c = contexts().find(ctx);
    vtx::GeoCriteria crit;
    crit.state = std::string(vtx::trim(vtx::caller_text(state)));
    crit.city = std::string(vtx::trim(vtx::caller_text(city)));
    crit.zip = std::string(vtx::trim(vtx::caller_text(zip)));
    crit.city_prefix = city_flag == 0;
    int ok = c != nullptr && kind == 2 &&
                     !(crit.state.empty() && crit.city.empty() && crit.zip.empty())
                 ? 1
                 : 0;
    if (ok) {
      c->matches = c->db->search(crit);
      c->next = 0;
      c->criteria_set = true;
    }
    return result_of(ctl, "LocSetNameCriteria", kNone, ok);
  });
}

LocFindCtx LocCreateFindContext(LocConnHdl conn) {
  return guarded(static_cast<LocFindCtx>(nullptr), [&]() -> LocFindCtx {
    Control ctl = Control::load("LocCreateFindContext");
    if (ctl.is_null("LocCreateFindContext", kNone, "")) return nullptr;
    LocConn* c = conns().find(conn);
    if (c == nullptr || c->db == nullptr) return nullptr;
    auto ctx = std::make_unique<FindCtx>();
    ctx->db = c->db;
    return contexts().add(std::move(ctx));
  });
}

}  // extern "C"
