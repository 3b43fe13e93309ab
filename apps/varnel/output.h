// SPDX-License-Identifier: Apache-2.0
// How the tool shows text: the component's Windows-1252 texts as UTF-8 with
// terminal line ends (or the raw bytes), and the user's text made safe for a
// terminal.
#pragma once

#include <string>

namespace varnel::cli {

// Windows-1252 to UTF-8.
std::string ToUtf8(const std::string& Text);

// UTF-8 to Windows-1252, for the tool's own lines among the component's
// texts: a character that Windows-1252 lacks, or a byte that is not UTF-8,
// becomes '?'.
std::string ToWindows1252(const std::string& Text);

// Text as well-formed UTF-8: what is not becomes U+FFFD.
std::string ValidUtf8(const std::string& Text);

// Line ends "\r\n" and lone "\r" become "\n".
std::string TerminalLineEnds(const std::string& Text);

// Text from the user's files (names, cells, paths) as it is safe to show on a
// terminal: control characters, DEL and the UTF-8 forms of the C1 controls
// become \xNN, so that no escape sequence reaches the terminal. Text longer
// than MaxBytes is cut there and ends in "...".
std::string Printable(const std::string& Text, std::size_t MaxBytes = std::string::npos);
// A name or cell in double quotes as a message shows it: Printable, cut
// at the bytes an error shows of a cell.
std::string Quoted(const std::string& Name);

// A text of the component as the tool shows it: converted to UTF-8 with
// terminal line ends unless Raw, and ending in a line end.
std::string ShownComponentText(const std::string& Text, bool Raw);

}  // namespace varnel::cli
