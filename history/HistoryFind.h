#pragma once

#include "history/LineStore.h"

#include <text/Fold.h>

#include <cstddef>
#include <optional>

// A match found in the history: a line and the bytes of it that match.
struct Found {
  std::size_t line = 0;
  std::size_t begin = 0;
  std::size_t end = 0;
  bool operator==(const Found&) const = default;
};

// Finding text in the lines of the history, a chunk of the store at a time:
// no copy of the text is made, and a match never runs from one line into
// the next. Matches are counted as a text editor counts them, each one
// after the end of the one before.

// The first match that begins at or after byte `byte` of line `line`.
std::optional<Found> FindNext(const LineStore& lines, const text::Needle& needle, std::size_t line,
                              std::size_t byte);
// The last match that begins before byte `byte` of line `line`.
std::optional<Found> FindPrevious(const LineStore& lines, const text::Needle& needle,
                                  std::size_t line, std::size_t byte);
// The matches that begin before byte `byte` of line `line`, and all of
// them, in one pass.
struct Tally {
  std::size_t before = 0;
  std::size_t total = 0;
};
Tally CountMatches(const LineStore& lines, const text::Needle& needle,
                   std::size_t line = static_cast<std::size_t>(-1), std::size_t byte = 0);
// The same over one chunk of the store, added to `tally`: a count taken a
// piece at a time.
void CountInChunk(const LineStore& lines, const text::Needle& needle, std::size_t chunk,
                  std::size_t line, std::size_t byte, Tally& tally);
