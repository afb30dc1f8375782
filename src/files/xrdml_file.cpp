#include "files/xrdml_file.hpp"

#include <algorithm>

#include "core/errors.hpp"
#include "core/format.hpp"
#include "files/xml_profile.hpp"

namespace vornax {

namespace {

double wavelength_of(pugi::xml_node used, std::string_view tag, const std::string& name) {
  const pugi::xml_node n = xml::find(used, tag);
  if (!n) return 0;
  const auto v = xml::number(n.child_value());
  if (!v) throw FormatError(name + ": " + std::string(tag) + " is not a number");
  check_finite(*v, tag, name);
  return *v;
}

// The 2θ positions element of a scan's data: axis "2Theta"; a lone positions element
// without any axis name is taken as 2θ. A scan of other axes only (Omega, Chi) has
// none, and must not be read as if its first axis were 2θ.
pugi::xml_node two_theta_positions(pugi::xml_node points, const std::string& name) {
  const auto all = xml::find_all(points, "positions");
  std::string axes;
  for (const auto& p : all) {
    const std::string_view axis = p.attribute("axis").value();
    if (axis == "2Theta") return p;
    if (!axis.empty()) axes += (axes.empty() ? "" : ", ") + std::string(axis);
  }
  if (all.size() == 1 && axes.empty()) return all.front();
  if (axes.empty()) throw FormatError(name + ": no 2Theta positions in the scan");
  throw FormatError(name + ": the scan has no 2Theta positions (only " + axes + ")");
}

// The counts of a scan, multiplied point by point by its beam attenuation factors
// when it has them (counts taken through an attenuator).
std::vector<double> counts_of(pugi::xml_node points, const std::string& name) {
  pugi::xml_node data = xml::find(points, "counts");
  if (!data) data = xml::find(points, "intensities");
  if (!data) throw FormatError(name + ": no counts or intensities in the scan");
  std::vector<double> raw = xml::numbers(data.child_value(), name, "the counts");
  check_point_count(raw.size(), name);
  if (const pugi::xml_node att = xml::find(points, "beamAttenuationFactors")) {
    const std::vector<double> f = xml::numbers(att.child_value(), name, "beamAttenuationFactors");
    if (f.size() != raw.size())
      throw FormatError(name + ": beamAttenuationFactors holds " + std::to_string(f.size()) +
                        " factors for " + std::to_string(raw.size()) + " counts");
    for (size_t i = 0; i < raw.size(); ++i) raw[i] *= f[i];
  }
  return raw;
}

}  // namespace

ProfileFileData read_xrdml_file(std::string_view bytes, const std::string& name, int range_index) {
  if (range_index < 0) throw FormatError(name + ": no range " + std::to_string(range_index));
  pugi::xml_document doc;
  xml::parse(doc, bytes, name);
  // Each scan of the measurement is a range of its own.
  const auto all_points = xml::find_all(doc, "dataPoints");
  if (all_points.empty()) throw FormatError(name + ": no dataPoints in the file");
  if (static_cast<size_t>(range_index) >= all_points.size())
    throw FormatError(name + ": no range " + std::to_string(range_index) + " (the file holds " +
                      std::to_string(all_points.size()) + ")");
  const pugi::xml_node points = all_points[static_cast<size_t>(range_index)];

  const std::vector<double> raw = counts_of(points, name);
  const pugi::xml_node pos = two_theta_positions(points, name);
  ProfileFileData d;
  Profile& p = d.profile;
  const pugi::xml_node list = pos.child("listPositions") ? pos.child("listPositions")
                                                         : pos.child("listOfPoints");
  if (list) {
    const std::vector<double> angles = xml::numbers(list.child_value(), name, "the positions");
    if (angles.size() != raw.size())
      throw FormatError(name + ": " + std::to_string(angles.size()) + " positions for " +
                        std::to_string(raw.size()) + " counts");
    p.points.resize(raw.size());
    for (size_t i = 0; i < raw.size(); ++i)
      p.points[i].two_theta = p.points[i].two_theta_read = static_cast<float>(angles[i]);
    scale_intensities(p, raw, name);
  } else {
    const auto start = xml::number(pos.child_value("startPosition"));
    const auto end = xml::number(pos.child_value("endPosition"));
    if (!start || !end) throw FormatError(name + ": the scan has no start and end position");
    check_finite(*start, "start position", name);
    check_finite(*end, "end position", name);
    if (raw.size() > 1 && *end <= *start)
      throw FormatError(name + ": endPosition " + shown_number(*end) + " is not above startPosition " +
                        shown_number(*start) + " (a reversed or empty range)");
    // n points spread evenly from start to end, both included.
    const long double step =
        raw.size() > 1 ? (static_cast<long double>(*end) - *start) / static_cast<long double>(raw.size() - 1) : 0.0L;
    set_stepped_points(p, *start, step, raw, name);
  }
  const auto [lo, hi] = std::minmax_element(
      p.points.begin(), p.points.end(), [](auto& a, auto& b) { return a.two_theta < b.two_theta; });
  p.start_angle = lo->two_theta;
  p.final_angle = hi->two_theta;

  const pugi::xml_node sample = xml::find(doc, "sample");
  std::string title = sample ? sample.child_value("name") : "";
  if (title.empty() && sample) title = sample.child_value("id");
  p.sample = title + " (XRDML)";

  WavelengthSet& w = p.wavelengths;
  if (const pugi::xml_node used = xml::find(doc, "usedWavelength")) {
    w.lambda1 = wavelength_of(used, "kAlpha1", name);
    w.lambda2 = wavelength_of(used, "kAlpha2", name);
    // A ratio of 0 (a monochromated Kα1 beam) stays 0: no Kα2 line is looked for.
    d.ratio_read = static_cast<bool>(xml::find(used, "ratioKAlpha2KAlpha1"));
    double ratio = wavelength_of(used, "ratioKAlpha2KAlpha1", name);
    if (w.lambda1 > 0) w.lambda = lambda_from_pair(w.lambda1, w.lambda2, ratio);
    w.ratio = ratio;
  }
  pugi::xml_node anode = xml::find(doc, "anodeMaterial");
  if (!anode) anode = xml::find(doc, "anode");
  if (anode) w.anode = trim(anode.child_value()).substr(0, 2);
  d.has_wavelength = w.lambda > 0;
  return d;
}

}  // namespace vornax
