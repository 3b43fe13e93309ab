// SPDX-License-Identifier: Apache-2.0
// Shared pieces of the fuzz targets: a private working folder, silenced
// messages and output, and the check that a fault is one the library may
// pass on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace varnel::fuzz {

// Creates a private temporary folder and makes it the current directory
// (once per process); returns its path.
const std::string& WorkFolder();

// Installs a message handler that only counts, and sends std::cout and
// std::cerr to nowhere, for the rest of the process.
void Silence();

// Messages shown since the process started.
long MessageCount();

// Installs a counting handler that, at its first message, replaces itself
// from inside the call with a fresh counting handler: the running handler
// must survive its own replacement.
void InstallSelfReplacingHandler();

// Writes Size bytes to Path in the work folder, replacing it.
void WriteFile(const std::string& Path, const std::uint8_t* Data, std::size_t Size);

// Reports a broken promise and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* What, const char* Operation);

}  // namespace varnel::fuzz
