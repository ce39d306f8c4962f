// 19.: runs bench/wine_measures.py on the Windows build and records what it
// prints ("name value" lines) beside the Linux readings of the same run.
#include "wine_measures.h"

#include "measure.h"

#include <cstdio>
#include <map>
#include <string>

namespace bench {

namespace {

// The reading a Linux row took earlier in this run, if any.
const Reading* Earlier(const Context& context, Key key) {
  for (const auto& result : context.results)
    if (result.key == key) return &result.reading;
  return nullptr;
}

std::string Beside(const Reading* linux, const char* what) {
  return linux ? linux->value + " " + what : std::string("not measured in this run");
}

} // namespace

void UnderWine(Context& context) {
  if (context.windowsDir.empty()) {
    std::fprintf(stderr, "19.: no --windows DIR, not measured\n");
    return;
  }
  const Counts& c = context.counts;
  const std::string command = "python3 '" LANCHAT_BENCH_SOURCE "/wine_measures.py' '" +
                              context.windowsDir + "' '" + context.Bin("wine") + "' " +
                              std::to_string(c.startRuns) + " " + std::to_string(c.wineMessages) +
                              " " + std::to_string(c.wineFloodSeconds);
  std::map<std::string, double> read;
  if (FILE* out = popen(command.c_str(), "r")) {
    // Other lines (the Wine session's progress) are passed over.
    char line[256];
    while (std::fgets(line, sizeof line, out)) {
      char name[64];
      double value = 0;
      if (std::sscanf(line, "%63s %lf", name, &value) == 2) read[name] = value;
    }
    pclose(out);
  }
  const Reading* start = Earlier(context, Key::StartUp);
  const Reading* rate = Earlier(context, Key::Rate);
  const Reading* line = Earlier(context, Key::PerLine);
  if (read.contains("startup_ms"))
    context.Record(Key::WineStartUp,
                   {Format("%.0f ms", read["startup_ms"]), Beside(start, "on Linux"),
                    read["startup_ms"], start ? start->x : 0});
  if (read.contains("rate"))
    context.Record(Key::WineRate, {Format("%.0f/s", read["rate"]), Beside(rate, "on Linux"),
                                   read["rate"], rate ? rate->x : 0});
  if (read.contains("per_message"))
    context.Record(Key::WinePerMessage,
                   {Format("%.0f B", read["per_message"]),
                    line ? Format("%.0f B on Linux", 2 * line->x) : Beside(nullptr, ""),
                    read["per_message"], line ? 2 * line->x : 0});
  if (read.contains("peak_mib"))
    context.Record(Key::WinePeak, {Format("%.0f MiB", read["peak_mib"]), "320 MiB, the bound",
                                   read["peak_mib"], 320});
}

} // namespace bench
