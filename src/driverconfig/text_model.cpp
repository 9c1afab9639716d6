#include "driverconfig/text_model.h"

#include <algorithm>

#include "driverconfig/text.h"

namespace quellin::driverconfig {

namespace {

constexpr std::string_view kFeatureMarker = "*Feature: ";
// The next feature is looked for this many characters after the header's start, whichever
// header it is.
constexpr std::size_t kNextFeatureSearchOffset = 20;
constexpr std::string_view kOptionMarker = "*Option: ";
constexpr std::string_view kDefaultMarker = "*DefaultOption:";
constexpr std::size_t kWindowLines = 6;

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t end = text.find('\0');
    if (end != std::string_view::npos) {
        text = text.substr(0, end);
    }
    std::size_t start = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        char c = text[pos];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, pos - start));
            if (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') {
                ++pos;
            }
            start = pos + 1;
        }
        ++pos;
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

std::string WorkingTextFromBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 16 + 2);
    for (const std::string& line : SplitLines(bytes)) {
        out.append(line);
        out.append("\r\n");
    }
    return out;
}

FeatureSplit SplitFeatureBlock(std::string_view text, std::string_view header) {
    FeatureSplit split;
    std::size_t from = text.find(header);
    if (from == std::string_view::npos || from == 0 || header.empty()) {
        return split;
    }
    std::size_t searchFrom = from + kNextFeatureSearchOffset;
    if (searchFrom > text.size()) {
        return split;
    }
    std::size_t next = text.find(kFeatureMarker, searchFrom);
    if (next == std::string_view::npos) {
        return split;
    }
    split.found = true;
    split.before = std::string(text.substr(0, from));
    split.block = std::string(text.substr(from, next - from + 1));
    split.after = std::string(text.substr(next));
    return split;
}

namespace {

// Calls `visit(position, delta)` for every brace of text[from, limit) that counts: braces in
// double-quoted strings (which end at their line's end) and in "*%" comments do not. Stops
// early when `visit` returns false.
template <typename Visit>
void ForEachBrace(std::string_view text, std::size_t from, std::size_t limit, Visit visit) {
    bool quoted = false;
    for (std::size_t i = from; i < limit; ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            quoted = false;
        } else if (quoted) {
            quoted = c != '"';
        } else if (c == '"') {
            quoted = true;
        } else if (c == '*' && i + 1 < limit && text[i + 1] == '%') {
            const std::size_t eol = text.find_first_of("\r\n", i);
            i = (eol == std::string_view::npos || eol > limit ? limit : eol) - 1;
        } else if ((c == '{' || c == '}') && !visit(i, c == '{' ? 1 : -1)) {
            return;
        }
    }
}

// The position just past the brace closing the feature that starts at `from`, searched before
// `limit`; npos when the braces do not close there.
std::size_t FeatureEnd(std::string_view text, std::size_t from, std::size_t limit) {
    int depth = 0;
    bool opened = false;
    std::size_t end = std::string_view::npos;
    ForEachBrace(text, from, limit, [&](std::size_t at, int delta) {
        depth += delta;
        opened = opened || delta > 0;
        if (opened && depth == 0) {
            end = at + 1;
            return false;
        }
        return true;
    });
    return end;
}

// Whether what stands between a feature's closing brace and the next feature is made of
// whole entries of its own: braces that balance and no option. Otherwise the feature's braces
// are wrong (a stray "}" or a missing "{" closed it early) and the rest still belongs to it.
// An option named in a comment or a string is no option.
bool StandsApart(std::string_view rest) {
    int depth = 0;
    bool apart = true;
    ForEachBrace(rest, 0, rest.size(), [&](std::size_t, int delta) {
        depth += delta;
        apart = depth >= 0;
        return apart;
    });
    if (!apart || depth != 0) {
        return false;
    }
    const std::vector<std::string> lines = SplitLines(rest);
    return std::none_of(lines.begin(), lines.end(), [](const std::string& line) {
        return CodeOfLine(line).find(kOptionMarker) != std::string::npos;
    });
}

bool IsBlankOrComment(std::string_view line) {
    std::string trimmed = Trim(line);
    return trimmed.empty() || trimmed.rfind("*%", 0) == 0;
}

// The position just past the end of the line that holds `at` (or the text's end).
std::size_t NextLineStart(std::string_view text, std::size_t at) {
    const std::size_t eol = text.find('\n', at);
    return eol == std::string_view::npos ? text.size() : eol + 1;
}

}  // namespace

std::string CodeOfLine(std::string_view line) {
    std::string code;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\r' || c == '\n') {
            break;
        }
        if (!quoted && c == '*' && i + 1 < line.size() && line[i + 1] == '%') {
            break;
        }
        if (c == '"') {
            quoted = !quoted;
        }
        code += quoted || c == '"' ? ' ' : c;
    }
    return code;
}

bool IsOptionLine(std::string_view line) {
    return CodeOfLine(line).find(kOptionMarker) != std::string::npos;
}

bool IsDefaultLine(std::string_view line) {
    return CodeOfLine(line).find(kDefaultMarker) != std::string::npos;
}

std::string OptionNameOf(std::string_view line) {
    std::string name = line.size() > 8 ? Trim(line.substr(8)) : "";
    if (!name.empty() && name.back() == '{') {
        name = Trim(std::string_view(name).substr(0, name.size() - 1));
    }
    return name;
}

std::size_t FindEntryLine(std::string_view text, std::string_view entry, bool wholeName,
                          std::size_t from) {
    if (entry.empty()) {
        return std::string_view::npos;
    }
    for (std::size_t line = from; line < text.size(); line = NextLineStart(text, line)) {
        std::size_t at = line;
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
            ++at;
        }
        if (text.compare(at, entry.size(), entry) != 0) {
            continue;
        }
        const std::size_t after = at + entry.size();
        if (!wholeName || after == text.size() || text[after] == ' ' || text[after] == '\t' ||
            text[after] == '\r' || text[after] == '\n' || text[after] == '{') {
            return at;
        }
    }
    return std::string_view::npos;
}

int BraceBalance(std::string_view line) {
    int balance = 0;
    ForEachBrace(line, 0, line.size(), [&](std::size_t, int delta) {
        balance += delta;
        return true;
    });
    return balance;
}

FeatureCut CutFeature(std::string_view text, std::string_view header) {
    FeatureCut cut;
    const std::size_t from = FindEntryLine(text, header, true, 0);
    if (from == std::string_view::npos || from == 0) {
        return cut;
    }
    const std::size_t next = FindEntryLine(text, kFeatureMarker, false, NextLineStart(text, from));
    const std::size_t limit = next == std::string_view::npos ? text.size() : next;
    const std::size_t end = FeatureEnd(text, from, limit);
    const bool closed = end != std::string_view::npos && StandsApart(text.substr(end, limit - end));
    if (next == std::string_view::npos && !closed) {
        return cut;  // a last feature whose end cannot be told
    }
    cut.found = true;
    cut.before = std::string(text.substr(0, from));
    if (!closed) {
        // The braces cannot be trusted: the feature runs to the next one, for reading and
        // for cutting alike.
        cut.block = std::string(text.substr(from, next - from + 1));
        cut.after = std::string(text.substr(next));
        cut.toNextFeature = true;
        return cut;
    }
    // An entry on the closing brace's line stays, on a line of its own behind the feature.
    const std::size_t lineEnd = std::min(NextLineStart(text, end), limit);
    const std::string_view tail = text.substr(end, lineEnd - end);
    const std::size_t tailFrom = tail.find_first_not_of(" \t");
    if (IsBlankOrComment(tail)) {
        cut.block = std::string(text.substr(from, lineEnd - from));
    } else {
        cut.block = std::string(text.substr(from, end - from)) + "\r\n";
        cut.after = std::string(tail.substr(tailFrom));
        if (cut.after.back() != '\n') {
            cut.after.append("\r\n");
        }
    }
    if (next == std::string_view::npos) {
        cut.after.append(text.substr(lineEnd));
        return cut;
    }
    for (const std::string& line : SplitLines(text.substr(lineEnd, next - lineEnd))) {
        if (!IsBlankOrComment(line)) {
            cut.after.append(line);
            cut.after.append("\r\n");
        }
    }
    cut.after.append(text.substr(next));
    return cut;
}

std::size_t OptionSpanEnd(const std::vector<std::string>& lines, std::size_t at, int& unclosed) {
    int depth = BraceBalance(lines[at]);
    bool opened = depth > 0 || CodeOfLine(lines[at]).find('{') != std::string::npos;
    std::size_t i = at + 1;
    for (; (!opened || depth > 0) && i < lines.size(); ++i) {
        const std::string trimmed = Trim(lines[i]);
        const int balance = BraceBalance(trimmed);
        if (IsOptionLine(trimmed) || FindEntryLine(trimmed, kFeatureMarker, false, 0) == 0 ||
            (!opened && balance < 0)) {
            break;
        }
        depth += balance;
        opened = opened || balance > 0;
    }
    unclosed = std::max(depth, 0);
    return i;
}

std::string StrayFeatureEntry(const FeatureCut& cut) {
    const std::vector<std::string> lines = SplitLines(
        std::string_view(cut.block).substr(0, cut.block.size() - (cut.toNextFeature ? 1 : 0)));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (IsOptionLine(lines[i])) {
            int unclosed = 0;
            i = OptionSpanEnd(lines, i, unclosed) - 1;
            continue;
        }
        std::string code = Trim(CodeOfLine(lines[i]));
        const std::size_t from = code.find_first_not_of("{} \t");
        const std::size_t to = code.find_last_not_of("{} \t");
        code = from == std::string::npos ? "" : code.substr(from, to - from + 1);
        if (!code.empty() && !IsDefaultLine(code) && code.rfind("*rcNameID:", 0) != 0 &&
            code.rfind("*PrintSchemaKeywordMap:", 0) != 0) {
            return Trim(lines[i]);
        }
    }
    return {};
}

FeatureScan ScanFeatureBlock(std::string_view block) {
    FeatureScan scan;
    std::vector<std::string> lines = SplitLines(block);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = Trim(lines[i]);
        if (line.empty()) {
            continue;
        }
        if (IsOptionLine(line)) {
            // The name starts at the option marker's trailing space, wherever the marker stood.
            std::string name = OptionNameOf(line);
            if (!name.empty()) {
                ScannedOption option;
                option.name = std::move(name);
                if (lines.size() - 1 - i >= kWindowLines) {
                    std::string window;
                    for (std::size_t k = 1; k <= kWindowLines; ++k) {
                        window.append(lines[i + k]);
                    }
                    option.window = std::move(window);
                }
                scan.options.push_back(std::move(option));
            }
        }
        if (IsDefaultLine(line)) {
            std::string name = line.size() > 15 ? Trim(std::string_view(line).substr(15)) : "";
            if (!name.empty()) {
                scan.defaultName = std::move(name);
            }
        }
    }
    return scan;
}

std::optional<PrintableArea> ReadPrintableArea(std::string_view window) {
    constexpr std::string_view kMarker = "PrintableArea:";
    std::size_t at = window.find(kMarker);
    if (at == std::string_view::npos || at == 0) {
        return std::nullopt;
    }
    std::string rest = RemoveAll(AsciiUpper(window.substr(at + kMarker.size())), "PAIR");
    std::size_t open = rest.find('(');
    std::size_t comma = rest.find(',');
    std::size_t close = rest.find(')');
    if (open == std::string::npos || comma == std::string::npos || close == std::string::npos ||
        !(open < comma && comma < close)) {
        return std::nullopt;
    }
    PrintableArea area;
    area.width = Trim(std::string_view(rest).substr(open + 1, comma - open - 1));
    area.height = Trim(std::string_view(rest).substr(comma + 1, close - comma - 1));
    return area;
}

std::string ReadResolutionText(std::string_view window) {
    constexpr std::string_view kMarker = "PAIR(";
    std::size_t at = window.find(kMarker);
    if (at == std::string_view::npos) {
        return "";
    }
    std::size_t start = at + kMarker.size();
    std::size_t comma = window.find(',', start);
    if (comma == std::string_view::npos) {
        return "";
    }
    return Trim(window.substr(start, comma - start));
}

CapabilitySplit SplitCapabilityFeature(std::string_view text, std::string_view openTag,
                                       std::string_view closeTag) {
    CapabilitySplit split;
    if (openTag.empty() || closeTag.empty()) {
        return split;
    }
    std::size_t open = text.find(openTag);
    if (open == std::string_view::npos || open == 0) {
        return split;
    }
    std::size_t searchFrom = open + closeTag.size();
    if (searchFrom > text.size()) {
        return split;
    }
    std::size_t close = text.find(closeTag, searchFrom);
    if (close == std::string_view::npos) {
        return split;
    }
    split.found = true;
    split.before = std::string(text.substr(0, open));
    split.after = std::string(text.substr(close + closeTag.size()));
    return split;
}

}  // namespace quellin::driverconfig
