// Peak files built byte by byte from their published layouts, for the reader tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace peak_test {

template <class T>
void put(std::string& b, size_t offset, T v) {
  if (b.size() < offset + sizeof(T)) b.resize(offset + sizeof(T), '\0');
  std::memcpy(b.data() + offset, &v, sizeof(T));
}
inline void put_text(std::string& b, size_t offset, const std::string& t) {
  if (b.size() < offset + t.size()) b.resize(offset + t.size(), '\0');
  std::memcpy(b.data() + offset, t.data(), t.size());
}

struct Peak {
  double two_theta, intensity;
};

// DIF2: header width w at 256 (records at 352 + w - 96 when w > 96), count at 262.
inline std::string dif2(const std::vector<Peak>& peaks, int16_t w = 96, float l1 = 1.54056f,
                        float l2 = 1.54439f, float ratio = 0.5f, const std::string& anode = "Cu",
                        int16_t count = -32768) {
  std::string b(352, ' ');
  put_text(b, 0, "DIF2");
  put_text(b, 8, "  quartz 12  ");
  put_text(b, 188, anode.substr(0, 2));
  put<float>(b, 190, l1);
  put<float>(b, 194, l2);
  put<float>(b, 198, ratio);
  put<int16_t>(b, 256, w);
  put<int16_t>(b, 262, count == -32768 ? static_cast<int16_t>(peaks.size()) : count);
  b.resize(352 + (w > 96 ? w - 96 : 0), 'x');
  for (const auto& p : peaks) {
    const size_t at = b.size();
    put<float>(b, at, static_cast<float>(p.two_theta));
    put<float>(b, at + 4, static_cast<float>(p.intensity));
    put_text(b, at + 8, "--------");
  }
  return b;
}

// DIF1: λ at 616 superseded by the one at 960, extra header e at 968, records from 1016 + e.
inline std::string dif1(const std::vector<Peak>& peaks, int32_t e = 0, double lambda960 = 1.5406,
                        int32_t count = -1) {
  std::string b(1016, '\0');
  put_text(b, 0, "DIF1");
  put_text(b, 326, "corundum");
  put_text(b, 608, "Co  ");
  put<double>(b, 616, 9.99);
  put<double>(b, 624, 1.78897);
  put<double>(b, 632, 1.79285);
  put<double>(b, 648, 0.5);
  put<int32_t>(b, 720, count < 0 ? static_cast<int32_t>(peaks.size()) : count);
  put<double>(b, 960, lambda960);
  put<int32_t>(b, 968, e);
  // A huge e is a damaged header: its bytes are not there.
  b.resize(1016 + static_cast<size_t>(e > 0 && e < 4096 ? e : 0), 'y');
  for (const auto& p : peaks) {
    const size_t at = b.size();
    put<double>(b, at, p.two_theta);
    put<float>(b, at + 8, static_cast<float>(p.intensity));
    put<int16_t>(b, at + 12, 1);
    put<int16_t>(b, at + 14, 0);
    put<int16_t>(b, at + 16, 4);
    b.resize(at + 24, '\0');
  }
  return b;
}

// Philips DI: anode code at 85, λ1/λ2/ratio at 94/102/110, date word at 122, sample at
// 146, then six unsigned words per peak (angle in 0.005°, intensity third).
inline std::string di(const std::vector<std::pair<uint16_t, uint16_t>>& words, uint8_t anode = 0,
                      uint16_t date = 0, double l1 = 0, double l2 = 0, double ratio = 0) {
  std::string b(250, '\0');
  put<uint8_t>(b, 85, anode);
  put<double>(b, 94, l1);
  put<double>(b, 102, l2);
  put<double>(b, 110, ratio);
  put<uint16_t>(b, 122, date);
  put_text(b, 146, " sample A ");
  for (const auto& [angle, intensity] : words) {
    const size_t at = b.size();
    put<uint16_t>(b, at, angle);
    put<uint16_t>(b, at + 2, 7);
    put<uint16_t>(b, at + 4, intensity);
    b.resize(at + 12, '\0');
  }
  return b;
}

}  // namespace peak_test
