// SPDX-License-Identifier: Apache-2.0
// A double written with a given number of significant digits, byte for byte
// as std::to_chars(general, Digits) writes it (as printf's %.*g does).
#pragma once

#include <string>

namespace varnel::cli {

// Digits from 1 to 9. Finite values only.
void AppendSignificant(std::string& Out, double Value, int Digits);

}  // namespace varnel::cli
