// SPDX-License-Identifier: Apache-2.0
#include "varnel/core/textfile.h"

#include <charconv>
#include <filesystem>
#include <system_error>

#include "varnel/core/faults.h"
#include "varnel/core/format.h"

namespace varnel {
namespace {

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool FileExists(const std::string& FileName) {
  std::error_code Error;
  return std::filesystem::is_regular_file(FileName, Error);
}

TTextFile::TTextFile(std::string FileName) : FName(std::move(FileName)) {}

void TTextFile::Fail(const char* What) const {
  throw EInOutError(std::string("I/O error: ") + What + " '" + FName + "'");
}

void TTextFile::Open(const char* Mode, const char* What) {
  FFile.reset();
  FFile.reset(std::fopen(FName.c_str(), Mode));
  if (!FFile) Fail(What);
}

std::FILE* TTextFile::Require(const char* What) {
  if (!FFile) Fail(What);
  return FFile.get();
}

void TTextFile::Rewrite() { Open("wb", "cannot create"); }
// Appending needs an existing file: a missing one is a failure, not a new file.
void TTextFile::Append() {
  Open("r+b", "cannot append to");
  if (std::fseek(FFile.get(), 0, SEEK_END) != 0) Fail("cannot append to");
}
void TTextFile::Reset() { Open("rb", "cannot open"); }

void TTextFile::Close() {
  if (FFile && std::fclose(FFile.release()) != 0) Fail("cannot close");
}

bool TTextFile::Eof() {
  std::FILE* File = Require("file not open");
  const int c = std::fgetc(File);
  if (c == EOF) {
    if (std::ferror(File)) Fail("cannot read");
    return true;
  }
  std::ungetc(c, File);
  return false;
}

char TTextFile::ReadChar() {
  std::FILE* File = Require("file not open");
  const int c = std::fgetc(File);
  if (c == EOF) {
    if (std::ferror(File)) Fail("cannot read");
    return '\x1A';
  }
  return static_cast<char>(c);
}

int TTextFile::ReadInteger() {
  std::FILE* File = Require("file not open");
  int c = std::fgetc(File);
  while (c != EOF && IsBlank(c)) c = std::fgetc(File);
  if (c == EOF) {
    if (std::ferror(File)) Fail("cannot read");
    return 0;
  }
  std::string Token;
  constexpr std::size_t kLongestToken = 64;  // no integer is longer; stop unbounded reads
  while (c != EOF && !IsBlank(c) && Token.size() <= kLongestToken) {
    Token += static_cast<char>(c);
    c = std::fgetc(File);
  }
  if (c != EOF) std::ungetc(c, File);
  int Value = 0;
  const auto [Ptr, Error] = std::from_chars(Token.data() + (Token[0] == '+'), Token.data() + Token.size(), Value);
  if (Error != std::errc() || Ptr != Token.data() + Token.size()) Fail("invalid numeric format in");
  return Value;
}

void TTextFile::ReadLn() {
  std::FILE* File = Require("file not open");
  int c = std::fgetc(File);
  while (c != EOF && c != '\n') c = std::fgetc(File);
  if (c == EOF && std::ferror(File)) Fail("cannot read");
}

void TTextFile::Write(std::string_view Text) {
  std::FILE* File = Require("file not open for writing");
  if (Text.empty()) return;
  if (std::fwrite(Text.data(), 1, Text.size(), File) != Text.size()) Fail("cannot write");
}

void TTextFile::Write(std::int64_t Value, int Width) {
  std::string Text = IntToStr(Value);
  if (static_cast<int>(Text.size()) < Width) Text.insert(0, Width - Text.size(), ' ');
  Write(std::string_view(Text));
}

void TTextFile::Write(Extended Value, int Width, int Decimals) {
  std::string Text = FixedText(Value, Decimals);
  if (static_cast<int>(Text.size()) < Width) Text.insert(0, Width - Text.size(), ' ');
  Write(std::string_view(Text));
}

void TTextFile::WriteLn(std::string_view Text) {
  Write(Text);
  Write(std::string_view("\r\n"));
}

void TTextFile::Flush() {
  if (std::fflush(Require("file not open for writing")) != 0) Fail("cannot flush");
}

}  // namespace varnel
