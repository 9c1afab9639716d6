// paper list|set|restore-default and resolution list|set: the editors' dialog state set as
// the command line asks, the dialogs' own tests on "Apply" and "Save Settings", and the same
// rewrite of both driver files.
#include <algorithm>
#include <limits>

#include "cli/command.h"
#include "cli/console_ui.h"
#include "driverconfig/capability_scan.h"
#include "driverconfig/driver_files.h"
#include "driverconfig/paper_catalogue.h"
#include "driverconfig/paper_size_editor.h"
#include "driverconfig/resolution_editor.h"
#include "driverconfig/text.h"
#include "driverconfig/text_model.h"
#include "platform/filesystem.h"
#include "platform/handle.h"
#include "system/errors.h"
#include "system/redirection.h"
#include "system/system_commands.h"

namespace quellin::cli {

namespace {

Remedy ReinstallRemedy() {
    return MakeRemedy({"reinstall"});
}

driverconfig::DriverContext Context() {
    driverconfig::DriverContext context;
    context.wow64KeyFlag = Wow64KeyFlag();
    return context;
}

// The last box the editors' functions showed: the reason for a refusal.
std::string LastMessage() {
    const ConsoleUi* ui = CurrentConsoleUi();
    return ui && !ui->messages.empty() ? ui->messages.back().text : std::string();
}

// Reading and writing errors of the driver files end the command with exit 5.
template <typename Step>
auto FileStep(Step&& step) {
    try {
        return step();
    } catch (const quellin::system::SystemError& error) {
        throw CommandFailure(kExitFileError, error.what(), error.code());
    }
}

std::vector<std::string> SplitList(const std::string& text, const char* option) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        std::string item = driverconfig::Trim(text.substr(start, comma - start));
        if (item.empty())
            throw UsageError(std::string("an empty entry in --") + option);
        items.push_back(item);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return items;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

void RequireNoDuplicates(const std::vector<std::string>& items, const char* option) {
    for (std::size_t i = 0; i < items.size(); ++i)
        if (std::find(items.begin() + static_cast<long>(i) + 1, items.end(), items[i]) !=
            items.end())
            throw UsageError("\"" + items[i] + "\" is given twice in --" + option);
}

// The end of a rewrite, reported like the dialog's save but with its silent cases spoken.
void ReportReplace(driverconfig::ReplaceResult result, Reporter& reporter) {
    switch (result) {
        case driverconfig::ReplaceResult::Written:
            reporter.changed = true;
            reporter.data.Set("descriptionWritten", true).Set("capabilitiesWritten", true);
            reporter.Line(
                "The description and the capabilities document are rewritten; the "
                "compiled cache is deleted.");
            return;
        case driverconfig::ReplaceResult::DescriptionOnly:
            reporter.changed = true;
            reporter.data.Set("descriptionWritten", true).Set("capabilitiesWritten", false);
            reporter.Line(
                "The description is rewritten; there is no capabilities document to "
                "rewrite.");
            return;
        case driverconfig::ReplaceResult::NoFeatureBlock:
        case driverconfig::ReplaceResult::NoCapabilityElement:
        case driverconfig::ReplaceResult::TextCutShort:
            reporter.data.Set("descriptionWritten", false).Set("capabilitiesWritten", false);
            throw CommandFailure(kExitFinding, LastMessage(), std::nullopt, ReinstallRemedy());
        case driverconfig::ReplaceResult::Unreadable:
            // Reinstalling would reset every choice; the message names what to mend.
            reporter.data.Set("descriptionWritten", false).Set("capabilitiesWritten", false);
            throw CommandFailure(kExitFinding, LastMessage());
    }
}

// A file's bytes as they are on disk, or nullopt when it cannot be read.
std::optional<std::string> ReadBytes(const std::string& path, win::DWORD wow64KeyFlag) {
    quellin::system::FsRedirectionSpan span(wow64KeyFlag != 0);
    return quellin::system::ReadWholeFile(path);
}

// Before a rewrite: which of the two files the change would alter. Under --check the plan is
// reported and nothing is written; a change that alters neither file writes nothing either, so
// the compiled cache survives. True when the rewrite should go ahead.
bool WriteWhenChanged(const driverconfig::DriverFilePaths& paths,
                      const driverconfig::FeatureReplacement& replacement,
                      const std::string& descriptionText, Reporter& reporter) {
    const win::DWORD flag = Wow64KeyFlag();
    // The rewrite's own decision, so that --check foresees every refusal of the real run and
    // a change it would refuse is never "already said".
    const driverconfig::RewritePlan plan = FileStep([&] {
        return driverconfig::PlanDriverRewrite(paths, replacement, flag, &descriptionText);
    });
    const driverconfig::RewrittenTexts& texts = plan.texts;
    if (!plan.refusal.empty()) {
        if (texts.result == driverconfig::ReplaceResult::Unreadable)
            throw CommandFailure(kExitFinding, plan.refusal);
        throw CommandFailure(kExitFinding, plan.refusal, std::nullopt, ReinstallRemedy());
    }
    std::vector<std::string> writes, deletes;
    if (ReadBytes(paths.mergedConfigPath, flag) != texts.description) {
        writes.push_back(paths.mergedConfigPath);
        if (driverconfig::FileExists(paths.cachePath, flag))
            deletes.push_back(paths.cachePath);
    }
    if (texts.capabilities && ReadBytes(paths.deviceCapabilitiesPath, flag) != texts.capabilities)
        writes.push_back(paths.deviceCapabilitiesPath);
    if (reporter.check) {
        reporter.data.Set(
            "plan",
            Json::Object()
                .Set("steps",
                     Json::StringArray(
                         writes.empty()
                             ? std::vector<std::string>{}
                             : std::vector<std::string>{"rewrite the " + replacement.featureLabel +
                                                        " feature and the " +
                                                        replacement.elementLabel + " element"}))
                .Set("write", Json::StringArray(writes))
                .Set("delete", Json::StringArray(deletes))
                .Set("jobs", Json::Array()));
        reporter.Line(writes.empty() ? "would write nothing: the files already say this"
                                     : "would rewrite " + std::to_string(writes.size()) +
                                           (writes.size() == 1 ? " file" : " files"));
        return false;
    }
    if (writes.empty()) {
        reporter.data.Set("descriptionWritten", false).Set("capabilitiesWritten", false);
        reporter.Line("The driver files already say this; nothing was written.");
        return false;
    }
    return true;
}

// The driver files as the locating step finds them, without the administrator gate: listing
// changes nothing.
driverconfig::DriverFilePaths LocateForReading(win::DWORD wow64KeyFlag) {
    const driverconfig::DriverFileNames names = driverconfig::ReadDriverFileNames(wow64KeyFlag);
    if (names.queueFolderName.empty() || names.mergedConfigName.empty())
        throw CommandFailure(kExitFinding, driverconfig::kNamesMissingText, std::nullopt,
                             ReinstallRemedy());
    if (!driverconfig::HasPlainNames(names))
        throw CommandFailure(kExitFinding, driverconfig::kFilesMissingText, std::nullopt,
                             ReinstallRemedy());
    const driverconfig::DriverFilePaths paths = driverconfig::DriverFilePathsFor(names);
    bool folder = false;
    {
        quellin::system::FsRedirectionSpan span(wow64KeyFlag != 0);
        const win::DWORD attributes = win::GetFileAttributesA(paths.queueFolder);
        folder = attributes != win::INVALID_FILE_ATTRIBUTES &&
                 (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    if (!folder || !driverconfig::FileExists(paths.mergedConfigPath, wow64KeyFlag))
        throw CommandFailure(kExitFinding, driverconfig::kFilesMissingText, std::nullopt,
                             ReinstallRemedy());
    return paths;
}

// The locating step of a system-changing editor command, or its refusal.
void RequireSession(bool found) {
    if (!found)
        throw CommandFailure(kExitFinding, LastMessage(), std::nullopt, ReinstallRemedy());
}

// Whole millimetres as a number; a text that is not one is left out as null.
Json MillimetresJson(const std::string& text) {
    const std::optional<std::int64_t> value = driverconfig::ParseStrictInt(text);
    return value ? Json(static_cast<long long>(*value)) : Json();
}

Json SizeJson(const std::string& name, bool chosen) {
    Json item = Json::Object().Set("name", name);
    if (auto size = driverconfig::FindDisplaySize(name, driverconfig::KeywordTableText(),
                                                  driverconfig::DisplayTableText()))
        item.Set("widthMm", MillimetresJson(size->widthMm))
            .Set("heightMm", MillimetresJson(size->heightMm));
    item.Set("chosen", chosen);
    return item;
}

std::string SizeLine(const std::string& name) {
    if (auto size = driverconfig::FindDisplaySize(name, driverconfig::KeywordTableText(),
                                                  driverconfig::DisplayTableText()))
        return name + " (" + size->widthMm + " x " + size->heightMm + " mm)";
    return name;
}

const char* UnitAccuracy(bool international) {
    return international ? driverconfig::kInternationalStandardCaption
                         : driverconfig::kUsStandardCaption;
}

struct CustomSize {
    std::string width, height;
};

// "WxH" in millimetres; the digits themselves are checked as "Apply" checks them.
CustomSize ParseCustom(const std::string& text) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos || text.find_first_of("xX", x + 1) != std::string::npos)
        throw UsageError("--custom takes WIDTHxHEIGHT in millimetres, as 100x150");
    return {text.substr(0, x), text.substr(x + 1)};
}

// Finishes a paper size change the way "Save Settings" does.
void SavePaperSizes(const driverconfig::PaperSizeSession& session,
                    const driverconfig::PaperSizeDialog& dialog,
                    driverconfig::PaperSettings& settings, Reporter& reporter) {
    if (!driverconfig::SavePaperSizeDialog(dialog, settings, 0))
        throw UsageError(LastMessage());
    reporter.data.Set("sizes", Json::StringArray(dialog.chosen))
        .Set("default", dialog.defaultName)
        .Set("unitAccuracy", UnitAccuracy(settings.internationalUnits));
    if (Contains(dialog.chosen, std::string(driverconfig::kCustomSizeName)))
        reporter.data.Set("custom", Json::Object()
                                        .Set("widthMm", settings.customWidthMm)
                                        .Set("heightMm", settings.customHeightMm));
    if (!WriteWhenChanged(session.paths,
                          driverconfig::PaperSizeChange(dialog.chosen, dialog.defaultName, settings,
                                                        session.reading, dialog.customApplied),
                          session.description, reporter))
        return;
    reporter.Progress("rewriting the PaperSize feature and the PageMediaSize element");
    const driverconfig::ReplaceResult result = FileStep(
        [&] { return driverconfig::FinishPaperSizeEdit(session, dialog, settings, Context()); });
    ReportReplace(result, reporter);
}

// The unit accuracy the description's sizes were written with: the first size whose two
// accuracies differ and whose printable width is one of them says which. The dialog's own
// test looks at the five US sizes only, so a description of metric sizes would read as US.
std::optional<bool> UnitAccuracyWritten(const std::string& description) {
    const driverconfig::FeatureCut cut =
        driverconfig::CutFeature(description, driverconfig::kPaperSizeHeader);
    if (!cut.found)
        return std::nullopt;
    const std::string_view table = driverconfig::KeywordTableText();
    for (const driverconfig::ScannedOption& option :
         driverconfig::ScanFeatureBlock(cut.block).options) {
        const auto area =
            option.window ? driverconfig::ReadPrintableArea(*option.window) : std::nullopt;
        const std::string name = driverconfig::AsciiUpper(option.name);
        const auto us = driverconfig::LookupPaperSize(name, table, {false, 0, 0});
        const auto international = driverconfig::LookupPaperSize(name, table, {true, 0, 0});
        if (!area || !us || !international || us->width == international->width)
            continue;
        if (area->width == international->width)
            return true;
        if (area->width == us->width)
            return false;
    }
    return std::nullopt;
}

driverconfig::PaperSizeSession BeginPaperSizes(driverconfig::PaperSettings& settings) {
    RequireAdministrator();
    std::optional<driverconfig::PaperSizeSession> session =
        FileStep([&] { return driverconfig::BeginPaperSizeEdit(Context(), settings); });
    RequireSession(session.has_value());
    return std::move(*session);
}

int ParseDpi(const std::string& text, const char* option) {
    const std::optional<std::int64_t> value = driverconfig::ParseStrictInt(text);
    if (value) {
        for (std::size_t position = 0; position < driverconfig::kResolutionCount; ++position)
            if (driverconfig::kResolutionsByPosition[position] == *value)
                return static_cast<int>(position);
    }
    throw UsageError("\"" + text + "\" in --" + option +
                     " is not one of 1200, 600, 400, 300, 200, 180, 150, 120, 100");
}

}  // namespace

void PaperListCommand(const Invocation& invocation, Reporter& reporter) {
    const win::DWORD flag = Wow64KeyFlag();
    const driverconfig::DriverFilePaths paths = LocateForReading(flag);
    const std::string description =
        FileStep([&] { return driverconfig::ReadWorkingText(paths.mergedConfigPath, flag); });
    driverconfig::PaperSettings settings;
    const driverconfig::PaperSizeReading reading =
        driverconfig::ReadPaperSizes(description, settings);
    driverconfig::PaperSizeDialog dialog = driverconfig::CreatePaperSizeDialog(settings, '.');
    driverconfig::PreparePaperSizeDialog(dialog, reading, settings);
    const bool international = UnitAccuracyWritten(description).value_or(dialog.internationalUnits);

    Json sizes = Json::Array();
    for (const std::string& name : dialog.chosen)
        sizes.Push(SizeJson(name, true));
    reporter.data.Set("featureFound", reading.blockFound)
        .Set("sizes", std::move(sizes))
        .Set("default", dialog.defaultName)
        .Set("custom", settings.customWidthMm > 0 || settings.customHeightMm > 0
                           ? Json::Object()
                                 .Set("widthMm", settings.customWidthMm)
                                 .Set("heightMm", settings.customHeightMm)
                           : Json())
        .Set("unitAccuracy", UnitAccuracy(international));
    reporter.Line("sizes: " + std::to_string(dialog.chosen.size()));
    for (const std::string& name : dialog.chosen)
        reporter.Line("  " + SizeLine(name) + (name == dialog.defaultName ? "  (default)" : ""));
    reporter.Line("default: " + dialog.defaultName);
    if (settings.customWidthMm > 0 || settings.customHeightMm > 0)
        reporter.Line("custom size: " + std::to_string(settings.customWidthMm) + " x " +
                      std::to_string(settings.customHeightMm) + " mm");
    reporter.Line(std::string("unit accuracy: ") + UnitAccuracy(international));
    if (!reading.blockFound)
        reporter.Line("The description has no PaperSize feature that can be read.");
    if (invocation.Has("all")) {
        Json catalogue = Json::Array();
        reporter.Line("catalogue:");
        for (const std::string& name :
             driverconfig::ListAvailableSizes(driverconfig::KeywordTableText())) {
            const bool chosen = Contains(dialog.chosen, name);
            catalogue.Push(SizeJson(name, chosen));
            reporter.Line("  " + SizeLine(name) + (chosen ? "  (chosen)" : ""));
        }
        reporter.data.Set("catalogue", std::move(catalogue));
    }
}

void PaperSetCommand(const Invocation& invocation, Reporter& reporter) {
    const std::optional<std::string> sizesText = invocation.Value("sizes");
    const std::optional<std::string> defaultText = invocation.Value("default");
    if (!sizesText || !defaultText)
        throw UsageError("\"paper set\" needs --sizes and --default");
    if (invocation.Has("international") && invocation.Has("us"))
        throw UsageError("--international and --us exclude each other");
    std::vector<std::string> sizes = SplitList(*sizesText, "sizes");
    for (std::string& size : sizes)
        size = driverconfig::AsciiUpper(size);
    RequireNoDuplicates(sizes, "sizes");
    const std::string defaultName = driverconfig::AsciiUpper(driverconfig::Trim(*defaultText));
    std::optional<CustomSize> custom;
    if (auto customText = invocation.Value("custom"))
        custom = ParseCustom(*customText);

    driverconfig::PaperSettings settings;
    const driverconfig::PaperSizeSession session = BeginPaperSizes(settings);
    // What the dialog can offer: the catalogue, the custom size, and what the description has.
    const std::vector<std::string> catalogue =
        driverconfig::ListAvailableSizes(driverconfig::KeywordTableText());
    for (const std::string& size : sizes)
        if (!Contains(catalogue, size) && size != driverconfig::kCustomSizeName &&
            !Contains(session.reading.chosen, size))
            throw UsageError("unknown paper size \"" + size +
                             "\" (see quellin-cli paper list --all)");

    driverconfig::PaperSizeDialog dialog = driverconfig::CreatePaperSizeDialog(settings, '.');
    driverconfig::PreparePaperSizeDialog(dialog, session.reading, settings);
    // The lists as the user would leave them by dragging, and the default by double-clicking.
    dialog.chosen = sizes;
    dialog.chosenRow = -1;
    driverconfig::FillAvailableSizes(dialog);
    driverconfig::RemoveChosenSizes(dialog);
    dialog.defaultName = defaultName;
    if (invocation.Has("international"))
        dialog.internationalUnits = true;
    else if (invocation.Has("us"))
        dialog.internationalUnits = false;
    else if (auto written = UnitAccuracyWritten(session.description))
        dialog.internationalUnits = *written;
    if (custom) {
        if (!Contains(dialog.chosen, std::string(driverconfig::kCustomSizeName)))
            driverconfig::AddCustomSize(dialog);
        dialog.widthText = custom->width;
        dialog.heightText = custom->height;
        if (!driverconfig::ApplyCustomSize(dialog, 0))
            throw UsageError(LastMessage() + " (--custom " + custom->width + "x" + custom->height +
                             ")");
    }
    // A custom size offered without dimensions would be written as 0 x 0 mm, unless it is the
    // description's own, kept as written as the dialog keeps it.
    const bool customKept =
        session.reading.customKept && !dialog.customApplied &&
        Contains(session.reading.chosen, std::string(driverconfig::kCustomSizeName));
    if (Contains(dialog.chosen, std::string(driverconfig::kCustomSizeName)) && !customKept &&
        (dialog.customWidthMm <= 0 || dialog.customHeightMm <= 0))
        throw UsageError("CUSTOMSIZE needs its dimensions: give --custom WIDTHxHEIGHT");
    SavePaperSizes(session, dialog, settings, reporter);
}

void PaperRestoreDefaultCommand(const Invocation&, Reporter& reporter) {
    driverconfig::PaperSettings settings;
    const driverconfig::PaperSizeSession session = BeginPaperSizes(settings);
    driverconfig::PaperSizeDialog dialog = driverconfig::CreatePaperSizeDialog(settings, '.');
    driverconfig::PreparePaperSizeDialog(dialog, session.reading, settings);
    driverconfig::RestoreDefaultSizes(dialog);
    SavePaperSizes(session, dialog, settings, reporter);
}

void ResolutionListCommand(const Invocation&, Reporter& reporter) {
    const win::DWORD flag = Wow64KeyFlag();
    const driverconfig::DriverFilePaths paths = LocateForReading(flag);
    const std::string description =
        FileStep([&] { return driverconfig::ReadWorkingText(paths.mergedConfigPath, flag); });
    const driverconfig::ResolutionReading reading = driverconfig::ReadResolutions(description);
    driverconfig::ResolutionDialog dialog;
    driverconfig::PrepareResolutionDialog(dialog, reading);

    Json options = Json::Array();
    for (const std::string& entry : reading.entries) {
        const std::size_t bar = entry.find("||");
        const std::string name = bar == std::string::npos ? entry : entry.substr(0, bar);
        const std::string dpi = bar == std::string::npos ? "" : entry.substr(bar + 2);
        const std::optional<std::int64_t> number = driverconfig::ParseStrictInt(dpi);
        options.Push(Json::Object()
                         .Set("name", name)
                         .Set("dpi", number ? Json(static_cast<long long>(*number)) : Json())
                         .Set("default", name == reading.defaultName));
        reporter.Line("  " + name + ": " + dpi + " x " + dpi + " dpi" +
                      (name == reading.defaultName ? "  (default)" : ""));
    }
    // Without a readable feature the dialog would show its own defaults; the printer offers
    // none of them.
    Json ticked = Json::Array();
    Json defaultDpi;
    if (reading.blockFound) {
        for (std::size_t position : driverconfig::kResolutionOutputOrder)
            if (dialog.ticked[position])
                ticked.Push(static_cast<long long>(driverconfig::kResolutionsByPosition[position]));
        if (dialog.selected >= 0)
            defaultDpi = static_cast<long long>(
                driverconfig::kResolutionsByPosition[static_cast<std::size_t>(dialog.selected)]);
    }
    reporter.data.Set("featureFound", reading.blockFound)
        .Set("options", std::move(options))
        .Set("defaultOption", reading.blockFound ? Json(reading.defaultName) : Json())
        .Set("dpi", std::move(ticked))
        .Set("default", defaultDpi);
    reporter.Line("default: " + (defaultDpi.kind() == Json::Kind::Null
                                     ? std::string("none")
                                     : driverconfig::ResolutionListText(
                                           static_cast<std::size_t>(dialog.selected))));
    if (!reading.blockFound)
        reporter.Line("The description has no Resolution feature that can be read.");
}

void ResolutionSetCommand(const Invocation& invocation, Reporter& reporter) {
    const std::optional<std::string> dpiText = invocation.Value("dpi");
    const std::optional<std::string> defaultText = invocation.Value("default");
    if (!dpiText || !defaultText)
        throw UsageError("\"resolution set\" needs --dpi and --default");
    const std::vector<std::string> dpis = SplitList(*dpiText, "dpi");
    RequireNoDuplicates(dpis, "dpi");
    std::vector<int> positions;
    for (const std::string& dpi : dpis)
        positions.push_back(ParseDpi(dpi, "dpi"));
    const int defaultPosition = ParseDpi(driverconfig::Trim(*defaultText), "default");
    const bool allowMultiple = invocation.Has("allow-multiple");

    RequireAdministrator();
    std::optional<driverconfig::ResolutionSession> session =
        FileStep([&] { return driverconfig::BeginResolutionEdit(Context()); });
    RequireSession(session.has_value());
    // The boxes and the default list as the user would set them.
    driverconfig::ResolutionDialog dialog;
    driverconfig::PrepareResolutionDialog(dialog, session->reading);
    dialog.ticked.fill(false);
    for (int position : positions)
        dialog.ticked[static_cast<std::size_t>(position)] = true;
    dialog.selected = defaultPosition;
    // --allow-multiple is the Yes to the warning; every other question is answered No, so no
    // web page opens.
    CurrentConsoleUi()->answerQuestion = [allowMultiple](const std::string& caption,
                                                         const std::string&) {
        return allowMultiple && caption == driverconfig::kSeveralResolutionsTitle ? win::IDYES
                                                                                  : win::IDNO;
    };
    const std::size_t shownBefore = CurrentConsoleUi()->messages.size();
    if (!driverconfig::SaveResolutionDialog(dialog, {}, 0)) {
        const auto& messages = CurrentConsoleUi()->messages;
        const ShownMessage& reason = messages.at(shownBefore);
        std::string text = reason.text;
        if (reason.caption == driverconfig::kSeveralResolutionsTitle)
            text = "several resolutions need --allow-multiple: " + text;
        // The refusal's reason without the question that offers another product.
        if (reason.caption == driverconfig::kUnsupportedResolutionTitle)
            text = text.substr(0, text.find("\r\n"));
        throw UsageError(text);
    }
    Json written = Json::Array();
    for (int dpi : driverconfig::ChosenResolutions(dialog))
        written.Push(dpi);
    reporter.data.Set("dpi", std::move(written))
        .Set("default",
             driverconfig::kResolutionsByPosition[static_cast<std::size_t>(defaultPosition)]);
    if (!WriteWhenChanged(session->paths, driverconfig::ResolutionChange(dialog),
                          session->description, reporter))
        return;
    reporter.Progress("rewriting the Resolution feature and the PageResolution element");
    const driverconfig::ReplaceResult result =
        FileStep([&] { return driverconfig::FinishResolutionEdit(*session, dialog, Context()); });
    ReportReplace(result, reporter);
}

}  // namespace quellin::cli
