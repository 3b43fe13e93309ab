// SPDX-License-Identifier: Apache-2.0
#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <streambuf>

#include "varnel/core/messages.h"

namespace varnel::fuzz {
namespace {

class TNullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

long Messages = 0;

}  // namespace

const std::string& WorkFolder() {
  // Never destroyed, so that the exit handler below can still read it.
  static const std::string* const Path = [] {
    // Files are written on every execution: keep them in memory when we can.
    const std::filesystem::path Base =
        std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string Pattern = (Base / "varnel-fuzz-XXXXXX").string();
    if (mkdtemp(Pattern.data()) == nullptr || chdir(Pattern.c_str()) != 0) {
      std::perror("varnel fuzz: cannot prepare a work folder");
      std::abort();
    }
    // libFuzzer ends a timed run with exit(): take the folder away then.
    std::atexit([] {
      std::error_code Ignored;
      std::filesystem::remove_all(*Path, Ignored);
    });
    return new std::string(Pattern);
  }();
  return *Path;
}

void Silence() {
  static TNullBuffer Null;
  std::cout.rdbuf(&Null);
  std::cerr.rdbuf(&Null);
  SetMessageHandler([](const TMessage&) { ++Messages; });
}

long MessageCount() { return Messages; }

void InstallSelfReplacingHandler() {
  auto Payload = std::make_shared<long>(0);  // dies with the handler that owns it
  SetMessageHandler([Payload](const TMessage&) {
    SetMessageHandler([](const TMessage&) { ++Messages; });
    ++*Payload;
    ++Messages;
  });
}

void WriteFile(const std::string& Path, const std::uint8_t* Data, std::size_t Size) {
  std::FILE* File = std::fopen(Path.c_str(), "wb");
  if (File == nullptr) Fail("cannot write a scratch file", Path.c_str());
  if (Size > 0) std::fwrite(Data, 1, Size, File);
  std::fclose(File);
}

void Fail(const char* What, const char* Operation) {
  std::fprintf(stderr, "varnel fuzz: %s: %s\n", Operation, What);
  std::abort();
}

}  // namespace varnel::fuzz
