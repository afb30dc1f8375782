#include "files/brml_file.hpp"

#include <zip.h>

#include <algorithm>
#include <memory>

#include "core/errors.hpp"
#include "core/format.hpp"
#include "files/xml_profile.hpp"

namespace vornax {

namespace {

struct ArchiveCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct EntryCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// The entry's bytes, read from an archive in memory.
std::string unpack(std::string_view bytes, const std::string& entry, const std::string& name) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (!src) {
    zip_error_fini(&error);
    throw FormatError(name + ": cannot open the archive");
  }
  std::unique_ptr<zip_t, ArchiveCloser> archive(zip_open_from_source(src, ZIP_RDONLY, &error));
  if (!archive) {
    zip_source_free(src);
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw FormatError(name + ": not a readable ZIP archive (" + why + ")");
  }
  zip_error_fini(&error);
  const zip_int64_t index = zip_name_locate(archive.get(), entry.c_str(), ZIP_FL_NOCASE);
  if (index < 0) throw FormatError(name + ": no " + entry + " in the archive");
  std::unique_ptr<zip_file_t, EntryCloser> file(
      zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(index), 0));
  if (!file) throw FormatError(name + ": cannot unpack " + entry + " (" +
                               zip_strerror(archive.get()) + ")");
  std::string out;
  char buffer[65536];
  while (true) {
    const zip_int64_t n = zip_fread(file.get(), buffer, sizeof buffer);
    if (n < 0) throw FormatError(name + ": " + entry + " is damaged in the archive");
    if (n == 0) break;
    if (out.size() + static_cast<size_t>(n) > kMaxBrmlDocument)
      throw FormatError(name + ": " + entry + " is too large");
    out.append(buffer, static_cast<size_t>(n));
  }
  return out;
}

// A value written as the element's Value attribute or as its text.
std::optional<double> value_of(pugi::xml_node n) {
  if (!n) return std::nullopt;
  if (const auto a = n.attribute("Value")) return xml::number(a.value());
  return xml::number(n.child_value());
}

double wavelength(pugi::xml_node doc, std::string_view tag, const std::string& name) {
  const pugi::xml_node n = xml::find(doc, tag);
  if (!n) return 0;
  const auto v = value_of(n);
  if (!v) throw FormatError(name + ": " + std::string(tag) + " is not a number");
  check_finite(*v, tag, name);
  return *v;
}

bool names_two_theta(std::string_view v) { return v == "TwoTheta" || v == "2Theta"; }

// The 2θ scan axis: named by its AxisName attribute as instruments write it (AxisId in
// some files).
pugi::xml_node two_theta_axis(pugi::xml_node doc) {
  for (const auto& a : xml::find_all(doc, "ScanAxisInfo"))
    if (names_two_theta(a.attribute("AxisName").value()) ||
        names_two_theta(a.attribute("AxisId").value()))
      return a;
  return {};
}

// The columns of a Datum, as its DataViews block describes them: a view's Start is its
// column, its LogicName (on the view or on its recording) says what it holds. Absent
// columns stay npos: 2θ then comes from the axis, the count from the last column.
struct DatumColumns {
  size_t two_theta = std::string_view::npos;
  size_t count = std::string_view::npos;
};

DatumColumns datum_columns(pugi::xml_node doc) {
  DatumColumns cols;
  const pugi::xml_node views = xml::find(doc, "DataViews");
  if (!views) return cols;
  for (const auto& view : xml::find_all(views, "RawDataView")) {
    const auto start = xml::number(view.attribute("Start").value());
    if (!start || *start < 0 || *start > 1000 || *start != static_cast<int>(*start)) continue;
    std::string_view logic = view.attribute("LogicName").value();
    if (logic.empty())
      if (const pugi::xml_node rec = xml::find(view, "Recording"))
        logic = rec.attribute("LogicName").value();
    const std::string_view kind = view.attribute("xsi:type").value();
    const auto column = static_cast<size_t>(*start);
    if (names_two_theta(logic)) cols.two_theta = column;
    else if (logic == "ScanCounter" || logic == "Counter" ||
             (logic.empty() && kind == "RecordedRawDataView"))
      cols.count = column;
  }
  return cols;
}

// The comma-separated fields of a Datum.
std::vector<std::string_view> datum_fields(std::string_view t) {
  std::vector<std::string_view> out;
  size_t pos = 0;
  while (true) {
    const size_t comma = t.find(',', pos);
    out.push_back(t.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos));
    if (comma == std::string_view::npos) break;
    pos = comma + 1;
  }
  return out;
}

}  // namespace

ProfileFileData read_brml_file(std::string_view bytes, const std::string& name, int range_index) {
  if (range_index < 0) throw FormatError(name + ": no range " + std::to_string(range_index));
  const std::string entry = "Experiment0/RawData" + std::to_string(range_index) + ".xml";
  const std::string text = unpack(bytes, entry, name);
  pugi::xml_document doc;
  xml::parse(doc, text, name + " (" + entry + ")");

  const pugi::xml_node axis = two_theta_axis(doc);
  if (!axis) throw FormatError(name + ": no 2Theta scan axis in " + entry);
  const auto start = value_of(axis.child("Start"));
  const auto step = value_of(axis.child("Increment"));
  if (!start || !step) throw FormatError(name + ": the 2Theta axis has no start or increment");
  check_finite(*start, "start", name);
  check_finite(*step, "increment", name);

  // 2θ from each Datum where its columns hold one, otherwise start + i·increment.
  const DatumColumns cols = datum_columns(doc);
  std::vector<double> raw, angles;
  bool every_angle = cols.two_theta != std::string_view::npos;
  for (const auto& datum : xml::find_all(doc, "Datum")) {
    const std::vector<std::string_view> f = datum_fields(datum.child_value());
    const size_t at = cols.count < f.size() ? cols.count : f.size() - 1;
    const auto v = xml::number(f[at]);
    if (!v) throw FormatError(name + ": a Datum of " + entry + " has no count in column " +
                              std::to_string(at + 1));
    raw.push_back(*v);
    if (every_angle) {
      const auto a = cols.two_theta < f.size() ? xml::number(f[cols.two_theta]) : std::nullopt;
      if (a) angles.push_back(*a);
      else every_angle = false;
    }
    if (raw.size() > static_cast<size_t>(kMaxProfilePoints)) check_point_count(raw.size(), name);
  }
  check_point_count(raw.size(), name);

  ProfileFileData d;
  Profile& p = d.profile;
  if (every_angle) {
    p.points.resize(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
      check_finite(angles[i], "2Theta of a Datum", name);
      p.points[i].two_theta = p.points[i].two_theta_read = static_cast<float>(angles[i]);
    }
    scale_intensities(p, raw, name);
  } else {
    set_stepped_points(p, *start, *step, raw, name);
  }
  p.start_angle = std::min(p.points.front().two_theta, p.points.back().two_theta);
  p.final_angle = std::max(p.points.front().two_theta, p.points.back().two_theta);
  const pugi::xml_node scan = xml::find(doc, "ScanInformation");
  p.sample = std::string(scan ? scan.attribute("ScanName").value() : "") + " (BRML)";

  WavelengthSet& w = p.wavelengths;
  w.lambda1 = wavelength(doc, "WaveLengthAlpha1", name);
  w.lambda2 = wavelength(doc, "WaveLengthAlpha2", name);
  const double average = wavelength(doc, "WaveLengthAverage", name);
  d.ratio_read = static_cast<bool>(xml::find(doc, "WaveLengthRatio"));
  double ratio = wavelength(doc, "WaveLengthRatio", name);
  if (w.lambda1 > 0) w.lambda = lambda_from_pair(w.lambda1, w.lambda2, ratio);
  else w.lambda = average;
  w.ratio = ratio;
  if (const pugi::xml_node tube = xml::find(doc, "TubeMaterial"))
    w.anode = trim(tube.child_value()).substr(0, 2);
  d.has_wavelength = w.lambda > 0;
  return d;
}

}  // namespace vornax
