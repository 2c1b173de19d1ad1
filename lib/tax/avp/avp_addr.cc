#include "avp_addr.h"

#include <cstring>

#include "api_reply.h"
#include "avp_codes.h"
#include "avp_log.h"
#include "avp_session.h"

int determine_addr_avp(Zip_Str* zip) {
  zip->function = AVP_ZIP_FN_LOOKUP;
  AVP_LOG("Call ZIP020Add/ZIP020 to determine Geo Code.\n");
  if (avp_session.ZIP020Add == nullptr) {
    AVP_LOG("ZIP020Add/ZIP020 is not loaded.\n");
    return AVP_NOT_CALLED;
  }
  const int r = avp_session.ZIP020Add(zip);
  AVP_LOG("Return from ZIP020Add/ZIP020: %d\n", r);
  return r;
}

int send_avp_addr(const Zip_Str* zip, char* out) {
  AVP_LOG("Send Address.\n");
  int count = 0;
  if (zip->ZipCmplCd == 0) {
    count = 1;
  } else if (zip->ZipCmplCd == 29) {
    while (count < AVP_ZIP_ENTRIES && !(zip->entry[count].state[0] == ' ' && zip->entry[count].state[1] == ' ')) {
      ++count;
    }
  } else {
    return 0;
  }

  api_format_status(out, API_ACTION_ADDRESS, API_STYPE_TAXWARE, count, zip->ZipCmplCd);
  if (api_send_text(out, API_REPLY_MTYPE) != 0) return 1;

  for (int i = 1; i <= count; ++i) {
    const ZipEntry& e = zip->entry[i - 1];
    std::memset(out, 0, API_TEXT_SIZE);
    ApiReplyWriter w(out);
    w.header(API_MSG_RESULT, API_ACTION_ADDRESS, API_STYPE_TAXWARE, i);
    w.field(e.city, sizeof e.city);
    w.field(e.state, sizeof e.state);
    w.field(e.zip, sizeof e.zip);
    w.field(e.geo, sizeof e.geo);
    w.field(e.county_code, sizeof e.county_code);
    w.field(e.county_name, sizeof e.county_name);
    w.field(&e.indicator, 1);
    if (api_send_text(out, API_REPLY_MTYPE) != 0) return 1;
  }
  return 0;
}
