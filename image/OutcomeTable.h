// Everything the program says about the outcomes of one kind of operation, as
// one table with a row per outcome. Adding an outcome is adding its row: its
// name, its exit status and its texts all come from there.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string_view>

template <typename Outcome>
struct OutcomeRow {
  Outcome outcome;                // its number is also the command line's exit status
  std::string_view name;          // "NotCoff": for --help, JSON and scripts
  std::string_view meaning;       // what --help says of it; empty where the name says enough
  std::string_view message = {};  // the user's text; none where the operation words its own
};

// What a value no row has is called: one cast from a number, never one the
// program produces.
template <typename Outcome>
inline constexpr OutcomeRow<Outcome> kUnknownOutcome{Outcome{}, "Unknown", "", "Unknown outcome"};

template <typename Outcome, size_t N>
constexpr const OutcomeRow<Outcome>& FindOutcomeRow(const OutcomeRow<Outcome> (&table)[N],
                                                    Outcome outcome) {
  const auto row = std::ranges::find(table, outcome, &OutcomeRow<Outcome>::outcome);
  return row == std::end(table) ? kUnknownOutcome<Outcome> : *row;
}

// No two rows share a number or a name. Each table checks itself with this
// when it is compiled, so rows added by separate changes cannot collide.
template <typename Outcome, size_t N>
constexpr bool OutcomesAreDistinct(const OutcomeRow<Outcome> (&table)[N]) {
  for (size_t i = 0; i < N; ++i) {
    for (size_t j = i + 1; j < N; ++j) {
      if (table[i].outcome == table[j].outcome || table[i].name == table[j].name) {
        return false;
      }
    }
  }
  return true;
}
