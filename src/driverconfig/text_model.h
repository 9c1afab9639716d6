// The text model of the driver's merged description (GPD) and capabilities document, and the
// cutting of one feature out of each.
//
// Both files are 8-bit text. They are read as lines (CR LF, a lone CR or a lone LF end a line;
// a NUL byte ends the text) and handled as their "working text": the lines joined again with
// CR LF after every line. Everything here works on working text in memory.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellin::driverconfig {

// The working text of a file's bytes.
std::string WorkingTextFromBytes(std::string_view bytes);

// Splits text into lines by the same rules (no line for an empty text; a final line without
// a line end still counts).
std::vector<std::string> SplitLines(std::string_view text);

inline constexpr std::string_view kPaperSizeHeader = "*Feature: PaperSize";
inline constexpr std::string_view kResolutionHeader = "*Feature: Resolution";

// A description cut around one feature. `block` runs from the header to the first character
// of the next "*Feature: " inclusive, so it overlaps `after` by one character; whatever lies
// between the feature's closing brace and the next feature belongs to the block.
struct FeatureSplit {
    bool found = false;
    std::string before;
    std::string block;
    std::string after;
};

// The braces are not counted: the block ends where the next feature begins. A description
// that begins with the header, or whose feature is the last one, has no block.
FeatureSplit SplitFeatureBlock(std::string_view text, std::string_view header);

// A description cut around one feature, for reading it and for rewriting it alike. The header
// is found only where it begins a line (after blanks) and is followed by the end of the name,
// so neither a comment that mentions it nor a longer name ("*Feature: PaperSizeMode") is
// taken; the next feature likewise. The feature ends at its own closing brace (braces counted
// from its first "{", ignoring those in double-quoted strings and "*%" comments): blank and
// comment lines between that brace and the next feature go with the feature, but any other
// entry standing there, on the brace's own line included, is kept in `after`, in its order,
// ahead of the next feature. When the braces do not close before the next feature, or what
// follows the closing brace holds an option (outside comments and strings) or braces of its
// own that do not balance (a stray "}" or a missing "{"), the feature runs to the next feature
// as in SplitFeatureBlock. A last feature ends at its closing brace and everything after it
// stays; when its end cannot be told that way, nothing is found.
struct FeatureCut {
    bool found = false;
    std::string before;
    std::string block;  // the feature as read, to its closing brace and line end
    std::string after;  // written right after the new feature
    // The feature runs to the next one; `block` then ends with that one's first character.
    bool toNextFeature = false;
};

FeatureCut CutFeature(std::string_view text, std::string_view header);

// The position of the first line at or after `from` that begins, after blanks, with `entry`
// (at the entry itself); with `wholeName` the entry must be followed by a blank, a "{", the
// line's end or the text's end. npos when there is none.
std::size_t FindEntryLine(std::string_view text, std::string_view entry, bool wholeName,
                          std::size_t from);

// A line without its "*%" comment and with its double-quoted strings blanked: where entries
// are looked for, so that an option named in a comment or a string is no option.
std::string CodeOfLine(std::string_view line);
// Whether a line holds "*Option: " or "*DefaultOption:" outside comments and strings.
bool IsOptionLine(std::string_view line);
bool IsDefaultLine(std::string_view line);
// The option name of a trimmed option line: its text from the ninth character, trimmed, less
// a "{" that opens the body on the same line.
std::string OptionNameOf(std::string_view line);

// The braces a line opens less those it closes, counted as CutFeature counts them.
int BraceBalance(std::string_view line);

// The lines of the option whose "*Option:" line is lines[at]: to the brace that closes its
// body, with whatever stands between that line and the body's "{" (comments, entries, or the
// "{" on the option's own line) and whatever its body holds. An option never runs into the
// next option or feature, nor past a "}" before its body opens (the feature's own); one
// without a body ends there. Returns one past its last line; `unclosed` is the braces its
// body leaves open.
std::size_t OptionSpanEnd(const std::vector<std::string>& lines, std::size_t at, int& unclosed);

// The first line of a cut feature that stands outside its options and is none of the
// feature's own entries (*rcNameID, *PrintSchemaKeywordMap, *DefaultOption, braces): what
// rewriting the feature would lose. Empty when there is none.
std::string StrayFeatureEntry(const FeatureCut& cut);

struct ScannedOption {
    std::string name;
    // The six lines after the option line, concatenated; absent when the block ends sooner.
    std::optional<std::string> window;
};

struct FeatureScan {
    std::vector<ScannedOption> options;  // in file order, duplicates kept
    std::string defaultName;             // the last non-empty *DefaultOption, or empty
};

// Lists a block's options and its default, names exactly as written. Only a marker outside
// comments and strings makes an option or a default line.
FeatureScan ScanFeatureBlock(std::string_view block);

struct PrintableArea {
    std::string width;   // trimmed text, not yet a number
    std::string height;  // trimmed text
};

// The *PrintableArea pair of an option's window, upper-cased with "PAIR" removed; nullopt
// when the window has no such entry or its parentheses and comma are not in order.
std::optional<PrintableArea> ReadPrintableArea(std::string_view window);

// The first number of the window's first "PAIR(...)", trimmed; empty when there is none.
std::string ReadResolutionText(std::string_view window);

inline constexpr std::string_view kPageMediaSizeOpenTag =
    "<psk:PageMediaSize psf2:psftype=\"Feature\">";
inline constexpr std::string_view kPageMediaSizeCloseTag = "</psk:PageMediaSize>";
inline constexpr std::string_view kPageResolutionOpenTag =
    "<psk:PageResolution psf2:psftype=\"Feature\">";
inline constexpr std::string_view kPageResolutionCloseTag = "</psk:PageResolution>";

// A capabilities document cut around one element. The indentation in front of the opening
// tag stays in `before`; `after` starts right behind the closing tag.
struct CapabilitySplit {
    bool found = false;
    std::string before;
    std::string after;
};

// An opening tag at the very start of the text is not taken (a document starts with its XML
// declaration, so such a text is not a capabilities document).
CapabilitySplit SplitCapabilityFeature(std::string_view text, std::string_view openTag,
                                       std::string_view closeTag);

}  // namespace quellin::driverconfig
