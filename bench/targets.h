#pragma once

// A row's target: its wording in the tables and the test of a reading, in
// one. Used by the table of figures (figures.cpp) only.
#include "measure.h"

#include <string>
#include <string_view>

namespace bench {

// ---- Targets: the wording and the test in one

struct Target {
  enum class Rule {
    Reported,           // shown, not judged
    None,               // the reading is 0
    NoMoreThanBaseline, // reading <= baseline
    ShareOfBaseline,    // reading >= baseline / limit
    WithinPercent,      // reading <= baseline * (1 + limit / 100)
    TimesBaseline,      // reading <= limit * baseline
    Below,              // reading < limit (in unit)
    AllOfBaseline,      // reading == baseline
    BelowBaseline,      // reading < baseline
    AtLeast,            // reading >= limit (in unit)
  };
  Rule rule = Rule::Reported;
  double limit = 0;
  std::string_view unit{}; // Below: the reading's unit; None: what there is none of
  std::string_view note{}; // appended to the wording

  [[nodiscard]] std::string Text() const {
    const std::string n = Format("%g", limit);
    std::string text;
    switch (rule) {
    case Rule::Reported: return "-";
    case Rule::None: text = "none " + std::string(unit); break;
    case Rule::NoMoreThanBaseline: text = "<= baseline"; break;
    case Rule::ShareOfBaseline:
      text = limit == 1 ? ">= baseline" : ">= 1/" + n + " of baseline";
      break;
    case Rule::WithinPercent: text = "within " + n + " %"; break;
    case Rule::TimesBaseline: text = "<= " + n + " x baseline"; break;
    case Rule::Below: text = "< " + n + " " + std::string(unit); break;
    case Rule::AllOfBaseline: text = "all"; break;
    case Rule::BelowBaseline: text = "< baseline"; break;
    case Rule::AtLeast: text = ">= " + n + " " + std::string(unit); break;
    }
    return text + std::string(note);
  }

  [[nodiscard]] bool Met(double value, double baseline) const {
    switch (rule) {
    case Rule::Reported: return true;
    case Rule::None: return value == 0;
    case Rule::NoMoreThanBaseline: return value <= baseline;
    case Rule::ShareOfBaseline: return value >= baseline / limit;
    case Rule::WithinPercent: return value <= baseline * (1 + limit / 100);
    case Rule::TimesBaseline: return value <= limit * baseline;
    case Rule::Below: return value < limit;
    case Rule::AllOfBaseline: return value == baseline;
    case Rule::BelowBaseline: return value < baseline;
    case Rule::AtLeast: return value >= limit;
    }
    return false;
  }
};

constexpr Target Reported() { return {}; }
constexpr Target None(std::string_view what) { return {Target::Rule::None, 0, what}; }
constexpr Target NoMoreThanBaseline() { return {Target::Rule::NoMoreThanBaseline}; }
constexpr Target ShareOfBaseline(double over) { return {Target::Rule::ShareOfBaseline, over}; }
constexpr Target WithinPercent(double percent) { return {Target::Rule::WithinPercent, percent}; }
constexpr Target TimesBaseline(double times) { return {Target::Rule::TimesBaseline, times}; }
constexpr Target Below(double limit, std::string_view unit, std::string_view note = {}) {
  return {Target::Rule::Below, limit, unit, note};
}
constexpr Target AllOfBaseline(std::string_view note) {
  return {Target::Rule::AllOfBaseline, 0, {}, note};
}
constexpr Target BelowBaseline(std::string_view note) {
  return {Target::Rule::BelowBaseline, 0, {}, note};
}

constexpr Target AtLeast(double limit, std::string_view unit) {
  return {Target::Rule::AtLeast, limit, unit};
}

} // namespace bench
