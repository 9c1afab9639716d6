// Text between the program's strings, which are in the system's ANSI code page, and Unicode:
// UTF-16 for windows and the console, UTF-8 for the host's files, terminals and JSON. Every
// string that crosses between a window or a host edge and the logic goes through here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace quellin::platform {

// MultiByteToWideChar(CP_ACP). Every byte has a form; the sandbox's code page is 1252, whose
// five unassigned bytes become the C1 controls of the same value, as on Windows.
std::u16string AnsiToWide(std::string_view ansi);

// WideCharToMultiByte(CP_ACP) without best-fit: a character with no exact form becomes '?',
// one per UTF-16 unit as Windows writes it (never a look-alike, which would name another
// printer or file), and clears `*exact`.
// Windows refuses '?' in printer and file names, so such a name fails where it is used.
std::string WideToAnsi(std::u16string_view wide, bool* exact = nullptr);

// The same through UTF-8. A byte sequence that is not UTF-8 counts as a character with no
// ANSI form.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8, bool* exact = nullptr);

// UTF-8 and UTF-16; a malformed sequence or a lone surrogate becomes U+FFFD.
std::u16string Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::u16string_view wide);

// CharUpperBuffA and CharLowerBuffA: letter case as Windows changes it in the ANSI code page,
// accented letters included. The sandbox's 1252 has no upper form for "\xDF" and "\xB5".
std::string UpperAnsi(std::string_view ansi);
std::string LowerAnsi(std::string_view ansi);
// Windows names (files, folders, printers, registry keys, archive entries) are the same name
// whatever the case of their letters; this is the one comparison of them.
bool SameName(std::string_view a, std::string_view b);

// CharNextA and CharPrevA: a string is walked by character, never by byte, since in a
// double-byte code page a trail byte may be 0x5C, the backslash. The sandbox's 1252 is single
// byte. CharNextA stays at the terminating zero; CharPrevA stays at `start`.
const char* CharNextA(const char* lpsz);
const char* CharPrevA(const char* lpszStart, const char* lpszCurrent);

// Windows paths split at their last backslash character: "C:\a\b.txt" is in "C:\a" and named
// "b.txt"; a path without one has no folder and is its own name. JoinPath puts one backslash
// between a folder and a name unless the folder already ends with one.
std::string FolderOf(std::string_view path);
std::string NameOf(std::string_view path);
std::string JoinPath(std::string_view folder, std::string_view name);
bool EndsWithBackslash(std::string_view path);
// The names between the path's backslash characters, empty ones included: "a\\\\b" gives "a",
// "" and "b".
std::vector<std::string> SplitPath(std::string_view path);
// Every backslash character as a slash (the separator of archive entry names), trail bytes
// left as they are.
std::string BackslashesToSlashes(std::string_view path);
// True when the text holds a backslash character (not a trail byte), a slash or a colon: it
// is more than one plain name.
bool HasPathSeparator(std::string_view name);

// The host edge of a command-line program.
// Its arguments in the ANSI code page: on Windows from the Unicode command line, elsewhere
// argv taken as UTF-8. Nothing when an argument has no exact ANSI form; `*refused` is then that
// argument (UTF-8), so the tool can say which.
std::optional<std::vector<std::string>> AnsiArguments(int argc, char** argv, std::string* refused);
// Writes program text to standard output (1) or standard error (2) in the reader's encoding:
// a Windows console gets UTF-16 (WriteConsoleW); a pipe, a file or a terminal elsewhere UTF-8.
void WriteStandardText(int stream, std::string_view ansi);

}  // namespace quellin::platform
