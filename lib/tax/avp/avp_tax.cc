#include "avp_tax.h"

#include "avp_codes.h"
#include "avp_log.h"
#include "avp_session.h"

int determine_tax_avp(Tax_Str* tax, Jur_Str* jur) {
  AVP_LOG("Call AvpTaxCmn/TAX010 to determine tax.\n");
  if (avp_session.AvpTaxCmnAdd == nullptr) {
    AVP_LOG("AvpTaxCmn/TAX010 is not loaded.\n");
    return AVP_NOT_CALLED;
  }
  const int r = avp_session.AvpTaxCmnAdd(tax, AVP_CMN_SELECT, jur);
  AVP_LOG("Return from AvpTaxCmn/TAX010: %d\n", r);
  return r;
}
