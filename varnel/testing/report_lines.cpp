// SPDX-License-Identifier: Apache-2.0
#include "varnel/testing/report_lines.h"

namespace varnel::testing {

std::vector<std::string> ReportLines(const std::string& Text) {
  std::vector<std::string> Lines;
  std::size_t Start = 0;
  for (std::size_t End; (End = Text.find("\r\n", Start)) != std::string::npos; Start = End + 2) {
    Lines.push_back(Text.substr(Start, End - Start));
  }
  if (Start < Text.size()) Lines.push_back(Text.substr(Start));
  return Lines;
}

}  // namespace varnel::testing
