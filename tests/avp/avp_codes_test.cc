// Completion codes: which outcomes carry a result, the error numbers of the
// others, and every text that names a code.
#include "avp_codes.h"

#include <string>

#include "gtest/gtest.h"

namespace {

TEST(AvpCodes, TaxOutcomes) {
  struct Case {
    int gen, jur, poo, poa, shpto, shpfr;
    double number;     // 0: the outcome carries a result
    const char* text;  // GetAvpErrorMess
  };
  const Case cases[] = {
      {0, 0, 0, 0, 0, 0, 0, "Successful Completion"},
      {4, 0, 0, 0, 0, 0, 0, "Ignorable error code: 4"},
      {18, 0, 0, 0, 0, 0, 0, "Ignorable error code: 18"},
      {19, 0, 0, 0, 0, 0, 0, "Ignorable error code: 19"},
      {51, 0, 0, 0, 0, 0, 0, "Ignorable error code: 51"},
      {63, 0, 0, 0, 0, 0, 0, "Ignorable error code: 63"},
      {83, 0, 0, 0, 0, 0, 0, "Ignorable error code: 83"},
      {5, 0, 0, 0, 0, 0, 1205, "GenCmplCd: 5"},
      {-3, 0, 0, 0, 0, 0, 1197, "GenCmplCd: -3"},
      {95, 0, 0, 0, 0, 0, 1295, "Successful Completion"},
      {0, 2, 0, 0, 0, 0, 1302, "Successful Completion"},  // general success, jurisdiction failure
      {12, 7, 0, 0, 0, 0, 1307, "GenCmplCd: 12"},
      {95, 1, 0, 0, 0, 0, 1301, "If point-of-title is invalid, the default will be 'D'"},
      {95, 2, 0, 0, 0, 0, 1302, "Service indicator not valid"},
      {95, 9, 0, 0, 0, 0, 1309, "Invalid tax selection parameter"},
      {95, 3, 0, 0, 0, 0, 1303, "Unknown"},
      {95, 99, 1, 3, 0, 0, 1399.0100, "POOJurRC: 1"},
      {95, 99, 0, 0, 0, 0, 1399, "Unknown (99)"},
      {95, 99, 0, 2, 0, 0, 1399.0100, "POAJurRC: 2"},
      {95, 99, 0, 0, 5, 4, 1399.0011, "ShpToJurRC: 5"},
      {95, 99, 0, 0, 0, -4, 1399, "ShpFrJurRC: -4"},
      {95, 99, 2, 2, 2, 2, 1399.1111, "POOJurRC: 2"},
      {95, 99, 9, 0, 3, 0, 1399.1001, "POOJurRC: 9"},
      {4, 99, 0, 0, 0, 0, 1399, "Ignorable error code: 4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("GenCmplCd " + std::to_string(c.gen) + " JurCmplCd " + std::to_string(c.jur));
    Tax_Str t{};
    t.GenCmplCd = c.gen;
    Jur_Str j{};
    j.JurCmplCd = c.jur;
    j.POOJurRC = c.poo;
    j.POAJurRC = c.poa;
    j.ShpToJurRC = c.shpto;
    j.ShpFrJurRC = c.shpfr;
    EXPECT_EQ(avp_tax_has_result(&t, &j) != 0, c.number == 0);
    if (c.number != 0) {
      EXPECT_NEAR(avp_tax_error_number(&t, &j), c.number, 1e-9);
    }
    EXPECT_EQ(GetAvpErrorMess(&t, &j), c.text);
  }
}

TEST(AvpCodes, ZipOutcomesAndTexts) {
  const std::string multi = "An error occurred while validating input string in Verify_Zip or ZipQuery";
  const std::pair<int, std::string> cases[] = {
      {0, "Successful completion"},
      {1, "Invalid link action"},
      {2, "Indexed ZIP Master file not found"},
      {3, "Indexed County file not found"},
      {4, "Sequential ZIP Exeception file not found"},
      {5, "More than one needed file not found"},
      {12, "Invalid State code passed"},
      {13, "No ZIP code or City name passed"},
      {14, "State and ZIP code combination not found"},
      {15, "State code and City name combination not found"},
      {16, "State, ZIP and City combination not found"},
      {17, "State, ZIP and City combination not found; Returned all possible ZIP codes based on City and State"},
      {18, "State, ZIP and City combination not found; Returned all possible City names based on ZIP and State"},
      {29, "Two or more counties found for State, ZIP and City combination; Retured all possible County codes"},
      {30, "ZIP code not valid for State; Defaulted to State code that matches ZIP"},
      {41, "Multiple City names possible for State and ZIP combination; Returned all possible City names"},
      {42, "Multiple ZIP codes possible for State and City combination; Retured all possible ZIP codes"},
      {43, multi},
      {80, multi},
      {6, "Unknown completion code: 6"},
      {-1, "Unknown completion code: -1"},
      {-2147483647 - 1, "Unknown completion code: -2147483648"},
  };
  for (const auto& [code, text] : cases) {
    SCOPED_TRACE(code);
    Zip_Str z{};
    z.ZipCmplCd = code;
    EXPECT_EQ(GetZipErrorMess(&z), text);
    EXPECT_EQ(avp_addr_has_result(&z) != 0, code == 0 || code == 29);
    if (code > -1000) {
      EXPECT_EQ(avp_addr_error_number(&z), 1100.0 + code);
    }
  }
}

}  // namespace
