// Bruker binary peak files: DIF2 and DIF1 read, DIF2 written.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/session.hpp"
#include "files/peak_files.hpp"

namespace vornax {

// DIF2 header offsets.
namespace dif2 {
constexpr size_t kSample = 8, kSampleSize = 32;
constexpr size_t kAnode = 188;
constexpr size_t kLambda1 = 190, kLambda2 = 194, kRatio = 198;
constexpr size_t kHeaderWidth = 256;  // int16 w; records follow at 352 + (w - 96) when w > 96
constexpr size_t kCount = 262;        // int16
constexpr size_t kRangeStart = 278;   // float32, written only
constexpr size_t kRecords = 352;
constexpr int kBaseWidth = 96;
constexpr size_t kRecordSize = 16;    // 2θ f32, intensity f32, 8 unused
}  // namespace dif2

// DIF1 header offsets.
namespace dif1 {
constexpr size_t kSample = 326, kSampleSize = 60;
constexpr size_t kAnode = 608;
constexpr size_t kLambda1 = 624, kLambda2 = 632, kRatio = 648;
constexpr size_t kCount = 720;        // int32
constexpr size_t kLambda = 960;       // float64; the one at 616 is superseded by it
constexpr size_t kExtraHeader = 968;  // int32 e, skipped from 1016 when e > 0
constexpr size_t kRecords = 1016;
constexpr size_t kRecordSize = 24;    // 2θ f64, intensity f32, h k l int16, 6 unused
}  // namespace dif1

// The DIF2 image of a peak list: the current λ as λ1 and λ2, ratio 1, the entered 2θmin,
// and per peak the working 2θ and the stored (scaled) intensity; blank bytes are 0x20.
std::string dif2_bytes(const std::vector<MeasuredPeak>& peaks, double lambda, double range_min);

// Writes dif2_bytes to `path`. Throws FileError.
void write_dif2_file(const std::filesystem::path& path, const std::vector<MeasuredPeak>& peaks,
                     double lambda, double range_min);

}  // namespace vornax
