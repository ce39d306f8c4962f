#pragma once

// What every measure uses: the clock, the median of samples, a figure
// formatted, and the event loop run for a while.
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;
inline double Since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

// The middle sample (the upper one of an even count).
inline double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

inline std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

inline void Pump(double seconds) {
  const auto start = Clock::now();
  while (Since(start) < seconds)
    QApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace bench
