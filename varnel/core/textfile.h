// SPDX-License-Identifier: Apache-2.0
// Text files as the component reads and writes them: lines end in "\r\n" on
// writing; reading accepts "\r\n" or "\n". Every failure raises EInOutError,
// which the calling operation's guard catches. The file is closed when the
// object goes out of scope, on every path.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "varnel/core/types.h"

namespace varnel {

bool FileExists(const std::string& FileName);

class TTextFile {
 public:
  explicit TTextFile(std::string FileName);  // assigns the name; opens nothing

  void Rewrite();  // create or truncate, for writing
  void Append();   // open an existing file for writing at its end
  void Reset();    // open for reading
  void Close();    // a closed file may be closed again
  bool IsOpen() const { return static_cast<bool>(FFile); }

  // Reading.
  bool Eof();
  char ReadChar();      // the next character; at the end of the file, 0x1A
  int ReadInteger();    // skips blanks and line ends; 0 at the end of the file
  void ReadLn();        // skips past the next line end

  // Writing.
  void Write(std::string_view Text);
  void Write(std::int64_t Value, int Width = 0);          // right-aligned in Width
  void Write(Extended Value, int Width, int Decimals);    // fixed point
  void WriteLn(std::string_view Text = {});
  void Flush();

 private:
  struct TCloser {
    void operator()(std::FILE* File) const { std::fclose(File); }
  };
  void Open(const char* Mode, const char* What);
  std::FILE* Require(const char* What);
  [[noreturn]] void Fail(const char* What) const;

  std::string FName;
  std::unique_ptr<std::FILE, TCloser> FFile;
};

}  // namespace varnel
