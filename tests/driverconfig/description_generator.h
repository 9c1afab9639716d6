// Generated driver descriptions and capabilities documents shaped like the driver's own and
// unlike them: features in any order, comments, strings with braces, unbalanced braces,
// options the catalogue lacks, lower-case names, the edited feature last. Deterministic for a
// seed.
#pragma once

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace quellin::driverconfig::testdata {

struct GeneratedFiles {
    std::string description;  // raw bytes, line ends mixed
    std::string capabilities;
    // Two features as written, and what a save keeps of the first and of its elements.
    std::string paperSize, paperSizeKept, resolution;
    std::string keptElements;  // closing tags of elements a save keeps
};

class DescriptionGenerator {
  public:
    explicit DescriptionGenerator(unsigned seed) : rng_(seed) {}

    GeneratedFiles Next() {
        GeneratedFiles& files = files_;
        eol_ = Chance(4) ? "\n" : "\r\n";
        std::vector<std::string> features = {PaperSize(), Resolution(), Other("ColorMode"),
                                             Other("InputBin"),
                                             Chance(3) ? Other("PaperSizeMode") : ""};
        files.paperSize = features[0];
        files.resolution = features[1];
        std::shuffle(features.begin(), features.end(), rng_);
        files.description = Line("*GPDFileVersion: \"1.0\"");
        if (Chance(3))
            files.description += Line("*% generated " + std::to_string(Pick(1000)));
        if (Chance(4))
            files.description += Line("*% the old *Feature: PaperSize was here");
        for (const std::string& feature : features) {
            files.description += feature;
            files.description += Between();
        }
        files.capabilities = Capabilities();
        return files;
    }

  private:
    bool Chance(int oneIn) { return Pick(oneIn) == 0; }
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    template <typename T>
    const T& OneOf(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(Pick(static_cast<int>(items.size())))];
    }
    std::string Line(const std::string& text) { return text + eol_; }
    // A closing brace, now and then with an entry behind it (if the braces balance).
    std::string Close() {
        const bool tail = !broken_ && Chance(5);
        broken_ = false;
        return Line(tail ? "} *InvalidCombination: LIST(A6)" : "}");
    }
    std::string Cased(std::string name) {
        if (Chance(5))
            for (char& c : name)
                c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        return name;
    }

    // What stands between features: nothing, comments, blank lines, or an entry of its own.
    std::string Between() {
        switch (Pick(7)) {
            case 5:
                return Line("*% *Option: A6 removed on 2024-05-01");
            case 6:
                return Line("*HelpText: \"Use *Option: A4 in Europe\"");
            case 0:
                return Line("*% between features");
            case 1:
                return Line("") + Line("*%");
            case 2:
                return Line("*InvalidCombination: LIST(PaperSize.A3, Resolution.ResOption1)");
            case 3:
                return Line("*Command: CmdStartDoc { *Cmd: \"}\" }");
            default:
                return "";
        }
    }

    std::string Body(const std::vector<std::string>& lines, bool opened = false) {
        std::string text;
        if (Chance(6))
            text += Line("*% a note before the body");
        if (!opened && !Chance(25))
            text += Line("{");  // now and then a body whose "{" is missing
        for (const std::string& line : lines)
            text += Line(line);
        if (!Chance(25))
            text += Line("}");  // and now and then a body that never closes
        if (Chance(25))
            text += Line("}");  // a stray brace
        broken_ = broken_ || std::count(text.begin(), text.end(), '{') + opened !=
                                 std::count(text.begin(), text.end(), '}');
        return text;
    }

    std::string PaperOption(const std::string& name) {
        std::vector<std::string> lines = {"*rcNameID: =RCID_DMPAPER_SYSTEM_NAME"};
        if (Chance(2))
            lines.push_back("*PrintSchemaKeywordMap: \"" + std::string(Chance(3) ? "ns0000:" : "") +
                            keywordOf_[name] + "\"");
        if (Chance(6))
            lines.push_back("*Name: \"Wide {\" *% not a brace }");
        if (Chance(8))
            lines.push_back("*DefaultOption: " + defaultName_);
        lines.push_back("*PrintableOrigin: PAIR(0, 0)");
        const std::vector<std::string> areas = {"3886200, 5029200",
                                                "3888000, 5040000",
                                                "1800000, 2700000",
                                                "99999999999999, 2700000",
                                                "0, 0",
                                                " 3779901 ,5345811 "};
        lines.push_back("*PrintableArea: " + std::string(Chance(4) ? "pair(" : "PAIR(") +
                        OneOf(areas) + ")");
        if (Chance(3))
            lines.pop_back();           // fewer lines than a window needs
        const bool opened = Chance(8);  // "{" on the option's line
        const std::string option = Line("*Option: " + Cased(name) + (opened ? " {" : ""));
        std::string text = option + (Chance(8) ? Line("*Name: \"" + name + "\"") : "");
        text += Body(lines, opened);
        const bool built = name != "MyPaper" && name != "Unknown" && name != "Borrowed";
        files_.paperSizeKept += built ? option : text;
        return text;
    }

    std::string PaperSize() {
        const std::vector<std::string> names = {"LETTER",  "A4",        "A3",         "LEGAL",
                                                "B5",      "TABLOID",   "CUSTOMSIZE", "MyPaper",
                                                "Unknown", "STATEMENT", "A6",         "Borrowed"};
        std::vector<std::string> chosen;
        const int count = 1 + Pick(6);
        for (int i = 0; i < count; ++i)
            chosen.push_back(OneOf(names));
        keywordOf_ = {{"LETTER", "NorthAmericaLetter"},
                      {"A4", "ISOA4"},
                      {"A3", "ISOA3"},
                      {"LEGAL", "NorthAmericaLegal"},
                      {"B5", "JISB5"},
                      {"TABLOID", "NorthAmericaTabloid"},
                      {"CUSTOMSIZE", "UserDefinedSize"},
                      {"MyPaper", "MyPaper"},
                      {"Unknown", "UnknownKeyword"},
                      {"STATEMENT", "NorthAmericaStatement"},
                      {"A6", "ISOA6"},
                      {"Borrowed", "NorthAmericaLetter"}};  // unknown, with LETTER's keyword
        paperNames_ = chosen;
        std::string text = Line("*Feature: PaperSize") + Line("{");
        text += Line("*rcNameID: =PAPER_SIZE_DISPLAY");
        const std::string defaultName = Chance(8) ? "NOSUCH" : OneOf(chosen);
        defaultName_ = defaultName;
        text += Line("*DefaultOption: " + (Chance(3) ? Cased(defaultName) : defaultName));
        for (const std::string& name : chosen) {
            text += PaperOption(name);
            if (Chance(4))
                text += Line("*% between options");
            if (Chance(30))
                text += Line("*DefaultOption: A4*Option: Glued") +  // an option and a default
                        Line("*DefaultOption: " + defaultName);
        }
        text += Close();
        files_.paperSizeKept += text.substr(text.rfind('}'));
        if (Chance(8))
            text += Line("}");
        return text;
    }

    std::string Resolution() {
        std::string text = Line("*Feature: Resolution") + Line("{");
        const std::vector<int> dpis = {600, 300, 500, 100, 1200};
        const int count = 1 + Pick(3);
        text += Line("*DefaultOption: ResOption" + std::to_string(1 + Pick(count)));
        for (int n = 1; n <= count; ++n) {
            const std::string d = std::to_string(OneOf(dpis));
            text +=
                Line("*Option: ResOption" + std::to_string(n)) +
                Body({"*Name: \"" + d + " x " + d + "\"", "*SpotDiameter: 100",
                      "*DPI: PAIR(" + d + ", " + d + ")", "*TextDPI: PAIR(" + d + ", " + d + ")"});
        }
        return text + Close();
    }

    std::string Other(const std::string& name) {
        std::string text = Line("*Feature: " + name) + Line("{") + Line("*DefaultOption: One");
        text += Line("*Option: One") + Line("{") +
                Line("*Command: CmdSelect { *Cmd: \"<</X {1}>>\" }") + Line("}");
        return text + Close();
    }

    std::string Element(const std::string& qualified, bool isDefault) {
        return "    <" + qualified + " psf2:psftype=\"Option\"" +
               (isDefault ? " psf2:default=\"true\">" : ">") + "\r\n" +
               "      <psk:MediaSizeWidth psf2:psftype=\"ScoredProperty\" "
               "xsi:type=\"xsd:integer\">1</psk:MediaSizeWidth>\r\n    </" +
               qualified + ">\r\n";
    }

    std::string Capabilities() {
        std::string text =
            "<?xml version=\"1.0\"?>\r\n<psf2:PrintDeviceCapabilities>\r\n"
            "  <psk:PageMediaSize psf2:psftype=\"Feature\">\r\n";
        for (const std::string& name : paperNames_) {
            if (Chance(2))
                continue;
            const std::string keyword = keywordOf_[name];
            if (name == "MyPaper")
                files_.keptElements += "</ns0000:MyPaper>\n";
            text += Element((keyword.rfind("ISO", 0) == 0 || keyword.rfind("North", 0) == 0 ||
                                     keyword.rfind("JIS", 0) == 0
                                 ? "psk:"
                                 : "ns0000:") +
                                keyword,
                            Chance(3));
        }
        text +=
            "  </psk:PageMediaSize>\r\n  <psk:PageResolution psf2:psftype=\"Feature\">\r\n"
            "  </psk:PageResolution>\r\n</psf2:PrintDeviceCapabilities>\r\n";
        return text;
    }

    std::mt19937 rng_;
    std::string eol_ = "\r\n";
    std::vector<std::string> paperNames_;
    std::string defaultName_;
    GeneratedFiles files_;
    bool broken_ = false;
    std::map<std::string, std::string> keywordOf_;
};

}  // namespace quellin::driverconfig::testdata
