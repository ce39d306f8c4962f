#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

struct TextChange;
class HistoryView;

// Makes a HistoryView an editable text to assistive technology: installs
// the accessible interface's factory (once), and reports the view's text
// changes and cursor moves as accessibility events. Appended lines
// (arrivals) are reported at the pace of ArrivalPace: the first after a
// quiet second at once, those that follow it together, at most once a
// second, so that a flood of arrivals does not flood the screen reader.
void AttachAccessibility(HistoryView& view);

// The most text, in UTF-16 units, that one request of assistive technology
// is handed (the text between two offsets, the whole text) and that one
// change event carries: the start of what was asked, never another text.
// A screen reader handed a selection of millions of characters (Ctrl+A in a
// full history) works through all of it before it answers a key; one that
// wants more asks again from where the answer ended.
inline constexpr int kAccessibleTextLimit = 1 << 14;

// How often arrivals are told to assistive technology: the first after a
// quiet interval is told at once, on its own; those that follow within the
// interval are held, and told together once it has passed; then at most
// one telling an interval while they keep coming. Plain code: the time is
// passed in.
class ArrivalPace {
public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kInterval = std::chrono::seconds(1);

  // One arrival at `now`: true if it is to be told at once, false if it is
  // held for a later telling.
  bool Arrive(Clock::time_point now);
  // The arrivals held, if their telling is due at `now` (they then count as
  // told); 0 if none are held or they are not due yet.
  std::size_t TakeDue(Clock::time_point now);
  // When the held arrivals are to be told; nothing if none are held.
  [[nodiscard]] std::optional<Clock::time_point> Due() const;

private:
  std::optional<Clock::time_point> told_; // the last telling
  std::size_t held_ = 0;
};
