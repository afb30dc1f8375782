// Newer diffractometer files built in the tests from their layouts: RAW4 byte by byte,
// BRML as a real ZIP archive (written with libzip), XRDML and GSAS as text.
#pragma once

#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "files/profile_fixtures.hpp"

namespace vornax::test {

struct Raw4Range {
  double start = 10, step = 0.02;
  std::vector<float> counts;
  std::string scan_type = "Locked Coupled";
  size_t extra = 64;  // bytes of the range's own extra segments
};

// The file header (signature, date, time), a hardware segment with Cu Kα1/Kα2 and
// ratio 0.5, a sample-name segment, an unknown segment, then the ranges.
inline std::string raw4_fixture(const std::vector<Raw4Range>& ranges, bool with_hardware = true) {
  Bytes f(61);
  f.text(0, "RAW4.00").text(12, "12/07/2026").text(24, "11:00:00");
  if (with_hardware) {
    Bytes hw(120);
    hw.put<uint32_t>(0, 30).put<uint32_t>(4, 120);
    hw.put<double>(72, 1.5418).put<double>(80, 1.540598).put<double>(88, 1.544426);
    hw.put<double>(96, 1.39225).put<double>(104, 0.5).text(116, "Cu");
    f.b += hw.b;
  }
  const std::string sample = "Corundum plate";
  Bytes var(36 + sample.size());
  var.put<uint32_t>(0, 10).put<uint32_t>(4, static_cast<uint32_t>(36 + sample.size()));
  var.text(12, "SampleID").text(36, sample);
  f.b += var.b;
  Bytes unknown(24, '\x55');
  unknown.put<uint32_t>(0, 77).put<uint32_t>(4, 24);
  f.b += unknown.b;
  for (const Raw4Range& r : ranges) {
    Bytes h(160);
    h.put<uint32_t>(0, 0).text(32, r.scan_type);
    h.put<double>(72, r.start).put<double>(80, r.step);
    h.put<uint32_t>(88, static_cast<uint32_t>(r.counts.size()));
    h.put<double>(112, 1.5418).put<uint32_t>(136, 4).put<uint32_t>(140, static_cast<uint32_t>(r.extra));
    f.b += h.b;
    f.b += std::string(r.extra, '\x33');
    f.append(r.counts);
  }
  return f.b;
}

// A ZIP archive holding `entries` (name, content), as bytes.
inline std::string zip_fixture(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vornax_zip_XXXXXX").string();
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) throw std::runtime_error("no scratch file");
  close(fd);
  int error = 0;
  zip_t* z = zip_open(tmpl.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!z) throw std::runtime_error("zip_open failed");
  for (const auto& [name, content] : entries) {
    zip_source_t* s = zip_source_buffer(z, content.data(), content.size(), 0);
    if (!s || zip_file_add(z, name.c_str(), s, ZIP_FL_OVERWRITE) < 0)
      throw std::runtime_error("zip_file_add failed");
  }
  if (zip_close(z) != 0) throw std::runtime_error("zip_close failed");
  std::ifstream in(tmpl, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::filesystem::remove(tmpl);
  return ss.str();
}

// One BRML range document laid out as instruments write it: the scan axes named by
// AxisName with Start, Stop and Increment elements, a DataViews block describing the
// Datum columns of a coupled scan (measured time, absorption factor, 2θ, θ, then the
// counter), one Datum per count, the tube's wavelengths as Value attributes and its
// material as text. `angles`: the 2θ each Datum holds (empty: start + i·step).
inline std::string brml_raw_data(double start, double step, const std::vector<double>& counts,
                                 const std::string& scan_name = "Quartz scan",
                                 const std::vector<double>& angles = {}) {
  std::ostringstream x;
  x.precision(10);
  const double stop = start + step * static_cast<double>(counts.empty() ? 0 : counts.size() - 1);
  x << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    << "<RawData xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
       "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" AppVersion=\"4.2\">\n"
    << "<DataRoutes><DataRoute Description=\"Original\" Version=\"2\">\n"
    << "<ScanInformation ScanName=\"" << scan_name << "\" ScanMode=\"StepScan\">\n<ScanAxes>\n"
    << "<ScanAxisInfo AxisName=\"TwoTheta\" Unit=\"deg\"><Reference>0</Reference><Start>" << start
    << "</Start><Stop>" << stop << "</Stop><Increment>" << step << "</Increment></ScanAxisInfo>\n"
    << "<ScanAxisInfo AxisName=\"Theta\" Unit=\"deg\"><Reference>0</Reference><Start>" << start / 2
    << "</Start><Stop>" << stop / 2 << "</Stop><Increment>" << step / 2
    << "</Increment></ScanAxisInfo>\n</ScanAxes></ScanInformation>\n"
    << "<DataViews>\n"
    << "<RawDataView xsi:type=\"FixedRawDataView\" Start=\"0\" Length=\"1\" LogicName=\"MeasuredTime\" />\n"
    << "<RawDataView xsi:type=\"FixedRawDataView\" Start=\"1\" Length=\"1\" LogicName=\"AbsorptionFactor\" />\n"
    << "<RawDataView xsi:type=\"FixedRawDataView\" Start=\"2\" Length=\"1\" LogicName=\"TwoTheta\" />\n"
    << "<RawDataView xsi:type=\"FixedRawDataView\" Start=\"3\" Length=\"1\" LogicName=\"Theta\" />\n"
    << "<RawDataView xsi:type=\"RecordedRawDataView\" Start=\"4\" Length=\"1\">"
       "<Recording Name=\"Counter 1D\" LogicName=\"ScanCounter\" /></RawDataView>\n"
    << "</DataViews>\n";
  for (size_t i = 0; i < counts.size(); ++i) {
    const double two_theta = i < angles.size() ? angles[i] : start + static_cast<double>(i) * step;
    x << "<Datum>0.5,1," << two_theta << "," << two_theta / 2 << "," << counts[i] << "</Datum>\n";
  }
  x << "</DataRoute></DataRoutes>\n<FixedInformation><Instrument><PrimaryTracks><TrackInfoData>"
    << "<MountedOptics><InfoData xsi:type=\"Tube\"><TubeMaterial>Co</TubeMaterial>"
    << "<WaveLengthAlpha1 Value=\"1.78897\" Unit=\"Angstrom\" />"
    << "<WaveLengthAlpha2 Value=\"1.79285\" Unit=\"Angstrom\" />"
    << "<WaveLengthAverage Value=\"1.79026\" Unit=\"Angstrom\" />"
    << "<WaveLengthRatio Value=\"0.5\" />"
    << "</InfoData></MountedOptics></TrackInfoData></PrimaryTracks></Instrument></FixedInformation>\n"
    << "</RawData>\n";
  return x.str();
}

// The layout the reader first knew: axes named by AxisId, no DataViews, the count the
// last field of each Datum.
inline std::string brml_axis_id_raw_data(double start, double step, const std::vector<double>& counts) {
  std::ostringstream x;
  x << "<RawData><ScanInformation ScanName=\"Old\"><ScanAxes>\n"
    << "<ScanAxisInfo AxisId=\"TwoTheta\"><Start>" << start << "</Start><Increment>" << step
    << "</Increment></ScanAxisInfo>\n</ScanAxes></ScanInformation>\n";
  for (size_t i = 0; i < counts.size(); ++i) x << "<Datum>1,1,0,0," << counts[i] << "</Datum>\n";
  x << "<TubeMaterial>Cu</TubeMaterial><WaveLengthAlpha1 Value=\"1.540598\" /></RawData>\n";
  return x.str();
}

inline std::string xrdml_fixture(const std::string& positions, const std::string& data_tag,
                                 const std::string& counts) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<xrdMeasurements xmlns=\"http://www.xrdml.com/XRDMeasurement/1.5\">\n"
         "<sample type=\"To be analyzed\"><id>S-17</id><name>Rutile</name></sample>\n"
         "<xrdMeasurement measurementType=\"Scan\">\n"
         "<usedWavelength intended=\"K-Alpha 1\"><kAlpha1 unit=\"Angstrom\">1.5405980</kAlpha1>"
         "<kAlpha2 unit=\"Angstrom\">1.5444260</kAlpha2><kBeta unit=\"Angstrom\">1.3922500</kBeta>"
         "<ratioKAlpha2KAlpha1>0.5000</ratioKAlpha2KAlpha1></usedWavelength>\n"
         "<incidentBeamPath><xRayTube name=\"PW3373/00 Cu LFF\"><anodeMaterial>Cu</anodeMaterial>"
         "</xRayTube></incidentBeamPath>\n"
         "<scan appendNumber=\"0\"><dataPoints>\n"
         "<positions axis=\"Omega\" unit=\"deg\"><startPosition>5</startPosition>"
         "<endPosition>40</endPosition></positions>\n" +
         positions + "\n<commonCountingTime unit=\"seconds\">1.0</commonCountingTime>\n<" + data_tag +
         " unit=\"counts\">" + counts + "</" + data_tag + ">\n</dataPoints></scan>\n"
         "</xrdMeasurement></xrdMeasurements>\n";
}

}  // namespace vornax::test
