// avp_zip_text: the words for a Taxware ZIP completion code, shared by the
// adapter's log and the ERP side's explanation of an error code, so the two
// never name a code differently. Header only: the ERP side does not link the
// adapter.
#pragma once

// The fixed text for `code`, or null for a code without one.
inline const char* avp_zip_code_text(long code) {
  switch (code) {
    case 0: return "Successful completion";
    case 1: return "Invalid link action";
    case 2: return "Indexed ZIP Master file not found";
    case 3: return "Indexed County file not found";
    case 4: return "Sequential ZIP Exeception file not found";
    case 5: return "More than one needed file not found";
    case 12: return "Invalid State code passed";
    case 13: return "No ZIP code or City name passed";
    case 14: return "State and ZIP code combination not found";
    case 15: return "State code and City name combination not found";
    case 16: return "State, ZIP and City combination not found";
    case 17: return "State, ZIP and City combination not found; Returned all possible ZIP codes based on City and State";
    case 18: return "State, ZIP and City combination not found; Returned all possible City names based on ZIP and State";
    case 29: return "Two or more counties found for State, ZIP and City combination; Retured all possible County codes";
    case 30: return "ZIP code not valid for State; Defaulted to State code that matches ZIP";
    case 41: return "Multiple City names possible for State and ZIP combination; Returned all possible City names";
    case 42: return "Multiple ZIP codes possible for State and City combination; Retured all possible ZIP codes";
    case 43:
    case 80: return "An error occurred while validating input string in Verify_Zip or ZipQuery";
    default: return nullptr;
  }
}
