// One small, valid file of every profile kind, built from the kinds' layouts, with the
// number of points it holds: the tests that go through all the kinds take them from here.
#pragma once

#include <string>
#include <vector>

#include "files/modern_fixtures.hpp"
#include "files/profile_fixtures.hpp"

namespace vornax::test {

struct ProfileKindSample {
  int kind;  // the --type number
  std::string bytes;
  size_t points;
  bool has_wavelength;
};

inline std::vector<ProfileKindSample> profile_kind_samples() {
  return {
      {1, raw2_fixture({100, 200, 300, 400}), 4, true},
      {2,
       crlf({"SampleIdent Quartz DataFileName q.dat", "", "Alpha1 1.54056 Alpha2 1.54439 Ratio 0.5",
             "", "10.0 0.02 10.06", "100 200 300 400"}),
       4, true},
      {3,
       crlf({"SIETRONICS XRD SCAN", "10.000", "10.060", "0.020", "Cu", "1.54180", "0:00", "1",
             "SampleIdent Quartz", "SCANDATA", "100", "200", "300", "400"}),
       4, true},
      {4, rd_fixture("V3", {100, 200, 300}), 3, true},
      {5, "10 100\n10.02 200\t5\n10.04 300\n", 3, false},
      {6, raw4_fixture({Raw4Range{10.0, 0.02, {1, 5, 2}}}), 3, true},
      {7, zip_fixture({{"Experiment0/RawData0.xml", brml_raw_data(12.0, 0.05, {3, 9, 4})}}), 3, true},
      {8,
       xrdml_fixture("<positions axis=\"2Theta\"><startPosition>5</startPosition>"
                     "<endPosition>6</endPosition></positions>",
                     "counts", "2 8 3"),
       3, true},
      {9, "MgO\nBANK 1 3 3 CONS 500 1 0 0 FXYE\n500 1 1\n501 7 2\n502 2 1\n", 3, false},
  };
}

}  // namespace vornax::test
