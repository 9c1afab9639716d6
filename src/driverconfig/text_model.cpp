#include "driverconfig/text_model.h"

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

// The position just past the line end that follows the brace closing the feature that starts
// at `from`, searched before `limit`; npos when the braces do not close there.
std::size_t FeatureEnd(std::string_view text, std::size_t from, std::size_t limit) {
    int depth = 0;
    bool opened = false;
    std::size_t end = std::string_view::npos;
    ForEachBrace(text, from, limit, [&](std::size_t at, int delta) {
        depth += delta;
        opened = opened || delta > 0;
        if (opened && depth == 0) {
            const std::size_t eol = text.find('\n', at);
            end = eol == std::string_view::npos || eol >= limit ? limit : eol + 1;
            return false;
        }
        return true;
    });
    return end;
}

// Whether what stands between a feature's closing brace and the next feature is made of
// whole entries of its own: braces that balance and no option. Otherwise the feature's braces
// are wrong (a stray "}" or a missing "{" closed it early) and the rest still belongs to it.
bool StandsApart(std::string_view rest) {
    int depth = 0;
    bool apart = true;
    ForEachBrace(rest, 0, rest.size(), [&](std::size_t, int delta) {
        depth += delta;
        apart = depth >= 0;
        return apart;
    });
    return apart && depth == 0 && rest.find(kOptionMarker) == std::string_view::npos;
}

bool IsBlankOrComment(std::string_view line) {
    std::string trimmed = Trim(line);
    return trimmed.empty() || trimmed.rfind("*%", 0) == 0;
}

}  // namespace

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
    const std::size_t from = header.empty() ? std::string_view::npos : text.find(header);
    if (from == std::string_view::npos || from == 0) {
        return cut;
    }
    std::size_t next = std::string_view::npos;
    if (from + kNextFeatureSearchOffset <= text.size()) {
        next = text.find(kFeatureMarker, from + kNextFeatureSearchOffset);
    }
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
    cut.block = std::string(text.substr(from, end - from));
    if (next == std::string_view::npos) {
        cut.after = std::string(text.substr(end));
        return cut;
    }
    for (const std::string& line : SplitLines(text.substr(end, next - end))) {
        if (!IsBlankOrComment(line)) {
            cut.after.append(line);
            cut.after.append("\r\n");
        }
    }
    cut.after.append(text.substr(next));
    return cut;
}

FeatureScan ScanFeatureBlock(std::string_view block) {
    FeatureScan scan;
    std::vector<std::string> lines = SplitLines(block);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = Trim(lines[i]);
        if (line.empty()) {
            continue;
        }
        if (line.find(kOptionMarker) != std::string::npos) {
            // The name starts at the option marker's trailing space, wherever the marker stood.
            std::string name = line.size() > 8 ? Trim(std::string_view(line).substr(8)) : "";
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
        if (line.find(kDefaultMarker) != std::string::npos) {
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
