#include "driverconfig/paper_catalogue.h"

#include <limits>

#include "driverconfig/text.h"
#include "driverconfig/text_model.h"

namespace quellin::driverconfig {

namespace {

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out.append(line);
        out.append("\r\n");
    }
    return out;
}

bool IsGroupHeader(std::string_view line) {
    return !line.empty() && line[0] == '[' && line.find(']') != std::string_view::npos;
}

struct Row {
    std::string keyword;
    std::string width;
    std::string height;
};

// A row is "KEYWORD||WIDTH||HEIGHT" with a non-empty keyword; the fields are trimmed.
std::optional<Row> ReadRow(std::string_view line) {
    std::size_t first = line.find("||");
    if (first == std::string_view::npos || first == 0) {
        return std::nullopt;
    }
    std::size_t second = line.find("||", first + 2);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    Row row;
    row.keyword = Trim(line.substr(0, first));
    row.width = Trim(line.substr(first + 2, second - first - 2));
    row.height = Trim(line.substr(second + 2));
    return row;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool IsIsoGroup(std::string_view group) {
    return StartsWith(group, "ISO");
}
bool IsJisGroup(std::string_view group) {
    return group == "JIS";
}

std::string SchemaKeyword(std::string_view name, std::string_view group) {
    std::string keyword;
    if (group == "US") {
        keyword = "NorthAmerica";
        if (!name.empty()) {
            keyword += name[0];
            keyword += AsciiLower(name.substr(1));
        }
    } else if (IsIsoGroup(group) || IsJisGroup(group)) {
        std::string_view standard = IsIsoGroup(group) ? "ISO" : "JIS";
        if (name.find(standard) != std::string_view::npos) {
            keyword = StripSpaces(name);
        } else {
            keyword = std::string(standard) + std::string(name);
        }
    } else {
        keyword = StripSpaces(std::string(group) + std::string(name));
    }
    return RemoveAll(keyword, "_");
}

const std::vector<std::string> kKeywordTable = {
    "[US]",
    "LETTER_EXTRA_TRANSVERSE||4343400||5486400",
    "LETTER_EXTRA||4343400||5486400",
    "LETTER_PLUS||3886200||5801868",
    "LETTER_ROTATED||5029200||3886200",
    "LETTER_TRANSVERSE||3886200||5029200",
    "LETTER||3886200||5029200",
    "LETTERSMALL||3886200||5029200",
    "EXECUTIVE||3314700||4800600",
    "LEDGER||7772400||5029200",
    "LEGAL_EXTRA||4343400||6858000",
    "LEGAL||3886200||6400800",
    "NOTE||3886200||5029200",
    "QUARTO||3869817||4949952",
    "STATEMENT||2514600||3886200",
    "TABLOID_EXTRA||5486400||8229600",
    "TABLOID||5029200||7772400",
    "FANFOLD_LGL_GERMAN||3886200||5943600",
    "FANFOLD_STD_GERMAN||3886200||5486400",
    "FANFOLD_US||6800850||5029200",
    "FOLIO||3886200||5943600",
    "10X11||4572000||5029200",
    "10X14||4572000||6400800",
    "11X17||5029200||7772400",
    "12X11||5488686||5031105",
    "15X11||6858000||5029200",
    "9X11||4114800||5029200",
    "",
    "[ISO]",
    "A_PLUS||4085844||6407658",
    "A2||7559802||10691622",
    "A3_EXTRA_TRANSVERSE||5795772||8009763",
    "A3_EXTRA||5795772||8009763",
    "A3_ROTATED||7559802||5345811",
    "A3_TRANSVERSE||5345811||7559802",
    "A3||5345811||7559802",
    "A4_EXTRA||4238244||5801868",
    "A4_PLUS||3779901||5939790",
    "A4_ROTATED||5345811||3779901",
    "A4_TRANSVERSE||3779901||5345811",
    "A4||3779901||5345811",
    "A4SMALL||3779901||5345811",
    "A5_EXTRA||3131820||4229862",
    "A5_ROTATED||3779901||2663952",
    "A5_TRANSVERSE||2663952||3779901",
    "A5||2663952||3779901",
    "A6_ROTATED||2663952||1889760",
    "A6||1889760||2663952",
    "ISO_B4||4499991||6353937",
    "",
    "[JIS]",
    "B4_JIS_ROTATED||6551676||4625721",
    "B4||4625721||6551676",
    "B5_EXTRA||3617976||4967859",
    "B5_JIS_ROTATED||4625721||3275838",
    "B5_TRANSVERSE||3275838||4625721",
    "B5||3275838||4625721",
    "B6_JIS_ROTATED||3275838||2303907",
    "B6_JIS||2303907||3275838",
    "B_PLUS||5489829||8765667",
    "CSHEET||7772400||10058400",
    "DSHEET||10058400||15544800",
    "ESHEET||15544800||20116800",
    "DBL_JAPANESE_POSTCARD_ROTATED||2663952||3599688",
    "DBL_JAPANESE_POSTCARD||3599688||2663952",
    "",
    "[ENV]",
    "ENV_10||1885950||4343400",
    "ENV_11||2057400||4743450",
    "ENV_12||2171700||5029200",
    "ENV_14||2286000||5257800",
    "ENV_9||1771650||4057650",
    "ENV_B4||4499991||6353937",
    "ENV_B5||3167634||4499991",
    "ENV_B6||3167634||2249805",
    "ENV_C3||5831967||8243697",
    "ENV_C4||4121658||5831967",
    "ENV_C5||2915793||4121658",
    "ENV_C6||2051685||2915793",
    "ENV_C65||2051685||4121658",
    "ENV_DL||1979676||3959733",
    "ENV_INVITE||3959733||3959733",
    "ENV_ITALY||1979676||4139946",
    "ENV_MONARCH||1771650||3429000",
    "ENV_PERSONAL||1657350||2971800",
    "JAPANESE_POSTCARD_ROTATED||2663952||1799844",
    "JAPANESE_POSTCARD||1799844||2663952",
    "JENV_CHOU3_ROTATED||4229862||2159889",
    "JENV_CHOU3||2159889||4229862",
    "JENV_CHOU4_ROTATED||3689985||1619631",
    "JENV_CHOU4||1619631||3689985",
    "JENV_KAKU2_ROTATED||5975985||4319778",
    "JENV_KAKU2||4319778||5975985",
    "JENV_KAKU3_ROTATED||4985766||3887724",
    "JENV_KAKU3||3887724||4985766",
    "JENV_YOU4_ROTATED||4229862||1889760",
    "JENV_YOU4||1889760||4229862",
    "P16K_ROTATED||4679823||3383661",
    "P16K||3383661||4679823",
    "P32K_ROTATED||3311652||2339721",
    "P32K||2339721||3311652",
    "P32KBIG_ROTATED||3653790||2519934",
    "P32KBIG||2519934||3653790",
    "PENV_1_ROTATED||2969895||1835658",
    "PENV_1||1835658||2969895",
    "PENV_10||5831967||8243697",
    "PENV_2_ROTATED||3167634||1835658",
    "PENV_2||1835658||3167634",
    "PENV_3_ROTATED||3167634||2249805",
    "PENV_3||2249805||3167634",
    "PENV_4_ROTATED||3743706||1979676",
    "PENV_4||1979676||3743706",
    "PENV_5_ROTATED||3959733||1979676",
    "PENV_5||1979676||3959733",
    "PENV_6_ROTATED||4139946||2159889",
    "PENV_6||2159889||4139946",
    "PENV_7_ROTATED||4139946||2879979",
    "PENV_7||2879979||4139946",
    "PENV_8_ROTATED||5561838||2159889",
    "PENV_8||2159889||5561838",
    "PENV_9_ROTATED||5831967||4121658",
    "PENV_9||4121658||5831967",
};

// Some sizes appear here only, by their common names; "European Fanfold" and "Tabloid Extra"
// lack the " mm" and so never match, and of the two "Arch E" lines the first wins.
const std::vector<std::string> kDisplayTable = {
    "[US]",
    "Legal 216 x 356 mm",
    "Letter 216 x 279 mm",
    "Ledger 432 x 279 mm",
    "Executive 184 x 267 mm",
    "Tabloid 279 x 432 mm",
    "Statement 140 x 216 mm",
    "11x15 279 x 381 mm",
    "11x12 279 x 305 mm",
    "10x14 254 x 356 mm",
    "10x13 254 x 330 mm",
    "10x11 254 x 279 mm",
    "8x10 203 x 254 mm",
    "7x9 178 x 229 mm",
    "5x7 127 x 178 mm",
    "Demitab 203 x 267 mm",
    "Government Legal 203 x 300 mm",
    "Quarto 216 x 275 mm",
    "Oficio 216 x 340 mm",
    "Fanfold 279 x 378 mm",
    "European Fanfold 216 x 305",
    "Foolscap Folio 216 x 330 mm",
    "Letter Plus 216 x 322 mm",
    "Letter Tab 229 x 279 mm",
    "Letter Extra 241 x 305 mm",
    "Legal Extra 241 x 381 mm",
    "Tabloid Extra 305 x 457",
    "Junior Legal 127 x 203 mm",
    "EDP 279 x 356 mm",
    "European EDP 305 x 356 mm",
    "",
    "[ISO A]",
    "A0 841 x 1189 mm",
    "A1 594 x 841 mm",
    "A2 420 x 594 mm",
    "A3 297 x 420 mm",
    "A4 210 x 297 mm",
    "A5 148 x 210 mm",
    "A6 105 x 148 mm",
    "A7 74 x 105 mm",
    "A8 52 x 74 mm",
    "A9 37 x 52 mm",
    "A10 26 x 37 mm",
    "",
    "[ISO B]",
    "ISO B0 1000 x 1414 mm",
    "ISO B1 707 x 1000 mm",
    "ISO B2 500 x 707 mm",
    "ISO B3 353 x 500 mm",
    "ISO B4 250 x 353 mm",
    "ISO B5 176 x 250 mm",
    "ISO B6 125 x 176 mm",
    "ISO B7 88 x 125 mm",
    "ISO B8 62 x 88 mm",
    "ISO B9 44 x 62 mm",
    "ISO B10 31 x 44 mm",
    "",
    "[ISO C]",
    "C0 917 x 1297 mm",
    "C1 648 x 917 mm",
    "C2 458 x 648 mm",
    "C3 324 x 458 mm",
    "C4 229 x 324 mm",
    "C5 162 x 229 mm",
    "C6 114 x 162 mm",
    "C7 81 x 114 mm",
    "C8 57 x 81 mm",
    "C9 40 x 57 mm",
    "C10 28 x 40 mm",
    "",
    "[DIN 476]",
    "4A0 1682 x 2378 mm",
    "2A0 1189 x 1682 mm",
    "",
    "[ANSI]",
    "ANSI A 216 x 279 mm",
    "ANSI B 279 x 432 mm",
    "ANSI C 432 x 559 mm",
    "ANSI D 559 x 864 mm",
    "ANSI E 864 x 1118 mm",
    "",
    "[Arch]",
    "Arch A 229 x 305 mm",
    "Arch B 305 x 457 mm",
    "Arch C 457 x 610 mm",
    "Arch D 610 x 914 mm",
    "Arch E 914 x 1219 mm",
    "Arch E1 762 x 1067 mm",
    "Arch E2 660 x 965 mm",
    "Arch E3 686 x 991 mm",
    "Arch E 914 x 1220 mm",
    " ",
    "[JIS]",
    "B0 1030 x 1456 mm",
    "B1 728 x 1030 mm",
    "B2 515 x 728 mm",
    "B3 364 x 515 mm",
    "B4 257 x 364 mm",
    "B5 182 x 257 mm",
    "B6 128 x 182 mm",
    "B7 91 x 128 mm",
    "B8 64 x 91 mm",
    "B9 45 x 64 mm",
    "B10 32 x 45 mm",
    "B11 22 x 32 mm",
    "B12 16 x 22 mm",
};

// Reads the width and height of a display-table line "NAME W x H mm" from its end, since the
// name may itself hold spaces and digits.
struct DisplayRow {
    std::string name;
    std::string width;
    std::string height;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::optional<DisplayRow> ReadDisplayRow(std::string_view line) {
    std::size_t mm = line.find(" mm");
    if (mm == std::string_view::npos || mm == 0) {
        return std::nullopt;
    }
    // Indexes below are 0-based; a walk that reaches the first character stops there.
    std::size_t s = mm;
    do {
        --s;
    } while (s > 0 && IsDigit(line[s]));
    if (s == 0) {
        return std::nullopt;
    }
    std::size_t e = s - 1;
    while (e > 0 && (line[e] == ' ' || line[e] == 'x')) {
        --e;
    }
    std::size_t b = e;
    while (b > 0 && IsDigit(line[b])) {
        --b;
    }
    DisplayRow row;
    row.height = Trim(line.substr(s, mm - s + 1));
    row.width = Trim(line.substr(b, e - b + 1));
    row.name = Trim(line.substr(0, b));
    return row;
}

}  // namespace

const std::vector<std::string>& KeywordTableLines() {
    return kKeywordTable;
}
const std::vector<std::string>& DisplayTableLines() {
    return kDisplayTable;
}

const std::string& KeywordTableText() {
    static const std::string text = JoinLines(kKeywordTable);
    return text;
}

const std::string& DisplayTableText() {
    static const std::string text = JoinLines(kDisplayTable);
    return text;
}

std::optional<PaperSizeLookup> LookupPaperSize(std::string_view name,
                                               std::string_view catalogueText,
                                               const PaperSettings& settings) {
    if (name == kCustomSizeName) {
        PaperSizeLookup custom;
        custom.keyword = std::string(kCustomSizeKeyword);
        custom.width = std::to_string(MillimetresToUnits(settings.customWidthMm));
        custom.height = std::to_string(MillimetresToUnits(settings.customHeightMm));
        return custom;
    }
    const std::string wanted = AsciiUpper(name);
    std::string group;
    for (const std::string& line : SplitLines(catalogueText)) {
        if (line.empty()) {
            continue;
        }
        if (IsGroupHeader(line)) {
            group = line.substr(1, line.size() - 2);
            continue;
        }
        std::optional<Row> row = ReadRow(line);
        if (!row || AsciiUpper(row->keyword) != wanted) {
            continue;
        }
        PaperSizeLookup found;
        found.keyword = SchemaKeyword(name, group);
        found.width = row->width;
        found.height = row->height;
        if (!settings.internationalUnits && (IsIsoGroup(group) || IsJisGroup(group))) {
            std::optional<std::string> width = RoundToPowerOfTen(found.width, 3);
            std::optional<std::string> height = RoundToPowerOfTen(found.height, 3);
            if (!width || !height) {
                return std::nullopt;
            }
            found.width = *width;
            found.height = *height;
        }
        return found;
    }
    return std::nullopt;
}

std::optional<PaperOption> MakePaperOption(std::string_view name, std::string_view catalogueText,
                                           const PaperSettings& settings) {
    std::optional<PaperSizeLookup> lookup = LookupPaperSize(name, catalogueText, settings);
    if (!lookup) {
        return std::nullopt;
    }
    std::optional<std::int64_t> width = ParseStrictInt(lookup->width);
    std::optional<std::int64_t> height = ParseStrictInt(lookup->height);
    if (!width || !height) {
        return std::nullopt;
    }
    return PaperOption{std::string(name), lookup->keyword, *width, *height};
}

std::vector<std::string> ListAvailableSizes(std::string_view catalogueText) {
    std::vector<std::string> sizes;
    for (const std::string& raw : SplitLines(catalogueText)) {
        std::string line = Trim(raw);
        if (line.empty() || line.find('[') != std::string::npos) {
            continue;
        }
        if (std::optional<Row> row = ReadRow(line)) {
            sizes.push_back(AsciiUpper(row->keyword));
        }
    }
    return sizes;
}

std::optional<DisplaySize> FindDisplaySize(std::string_view name, std::string_view catalogueText,
                                           std::string_view displayText) {
    const std::string wanted = AsciiUpper(name);
    for (const std::string& line : SplitLines(catalogueText)) {
        if (line.empty() || IsGroupHeader(line)) {
            continue;
        }
        std::optional<Row> row = ReadRow(line);
        if (!row || AsciiUpper(row->keyword) != wanted) {
            continue;
        }
        std::optional<std::int64_t> width = ParseStrictInt(row->width);
        std::optional<std::int64_t> height = ParseStrictInt(row->height);
        if (!width || !height) {
            return std::nullopt;
        }
        return DisplaySize{std::to_string(UnitsToMillimetres(*width)),
                           std::to_string(UnitsToMillimetres(*height))};
    }
    for (const std::string& line : SplitLines(displayText)) {
        if (IsGroupHeader(line)) {
            continue;
        }
        std::optional<DisplayRow> row = ReadDisplayRow(line);
        if (row && AsciiUpper(row->name) == wanted) {
            return DisplaySize{row->width, row->height};
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> AspectRatioHundredths(std::string_view widthMm,
                                                  std::string_view heightMm) {
    std::optional<std::int64_t> width = ParseStrictInt(Trim(widthMm));
    std::optional<std::int64_t> height = ParseStrictInt(Trim(heightMm));
    if (!width || !height || *height <= 0) {
        return std::nullopt;
    }
    // Sizes beyond this would overflow the scaling; no paper comes near it.
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 100;
    if (*width > kLimit || *width < -kLimit) {
        return std::nullopt;
    }
    return DivideRoundHalfEven(*width * 100, *height);
}

}  // namespace quellin::driverconfig
