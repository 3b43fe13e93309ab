// SPDX-License-Identifier: Apache-2.0
// Splits a report into its lines: every line must end in "\r\n".
#pragma once

#include <string>
#include <vector>

namespace varnel::testing {

// The lines of Text without their "\r\n"; a final piece without a line end
// is returned as the last line.
std::vector<std::string> ReportLines(const std::string& Text);

}  // namespace varnel::testing
