// SPDX-License-Identifier: Apache-2.0
// For tests: CSV text parsed by libcsv in strict mode into rows of fields.
#pragma once

#include <csv.h>

#include <optional>
#include <string>
#include <vector>

namespace varnel::cli {

using TCsvFields = std::vector<std::vector<std::string>>;

namespace parsed_csv_detail {
struct TState {
  TCsvFields Rows;
  std::vector<std::string> Row;
};
inline void OnField(void* Data, std::size_t Size, void* State) {
  static_cast<TState*>(State)->Row.emplace_back(Size ? static_cast<const char*>(Data) : "", Size);
}
inline void OnRow(int, void* State) {
  auto& S = *static_cast<TState*>(State);
  S.Rows.push_back(std::move(S.Row));
  S.Row.clear();
}
}  // namespace parsed_csv_detail

// The rows, or nothing when the text is not strict CSV.
inline std::optional<TCsvFields> ParseCsv(const std::string& Text) {
  using namespace parsed_csv_detail;
  csv_parser Parser;
  if (csv_init(&Parser, CSV_STRICT | CSV_STRICT_FINI) != 0) return std::nullopt;
  TState State;
  const bool Parsed = csv_parse(&Parser, Text.data(), Text.size(), OnField, OnRow, &State) == Text.size() &&
                      csv_fini(&Parser, OnField, OnRow, &State) == 0;
  csv_free(&Parser);
  if (!Parsed) return std::nullopt;
  return State.Rows;
}

}  // namespace varnel::cli
