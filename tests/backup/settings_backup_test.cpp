// Saving and restoring the printer's settings against a fresh sandbox per test.
#include "backup/settings_backup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <thread>

#include "archive/archive_builder.h"
#include "archive/file_helpers.h"
#include "driverconfig/driver_files.h"
#include "platform/processes.h"
#include "platform/sim/control.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/spool.h"
#include "system/admin.h"
#include "system/app_info.h"

namespace quellin::backup {
namespace {

using namespace archive::testdata;

constexpr win::HWND kOwner = 0x5150;
const std::string kDocuments = "C:\\Users\\User\\Documents";
const std::string kArchive = kDocuments + "\\pdf.roy";
const std::string kTemp = "C:\\Users\\User\\AppData\\Local\\Temp";

// The registry below HKCU\Printers as one text, subkeys and values in the system's order.
std::string Snapshot(std::int64_t key, const std::string& name) {
    std::string text = "[" + name + "]\n";
    for (const auto& v : sim::reg::Values(key))
        text += v.name + "=" + sim::reg::TypeName(v.type) + ":" + sim::reg::FormatData(v) + "\n";
    for (const auto& sub : sim::reg::SubKeys(key))
        text += Snapshot(*sim::reg::FindChild(key, sub), name + "\\" + sub);
    return text;
}
std::string Printers() {
    return Snapshot(*sim::reg::FindKey("HKCU\\Printers"), "Printers");
}

std::vector<std::string> EntryNames(const std::string& archive) {
    archive::TUnZipper reader;
    reader.ZipName = archive;
    std::vector<std::string> names;
    for (const auto& entry : reader.ReadZipDirectory())
        names.push_back(entry.FullName());
    return names;
}

sim::InitOptions AsUser(const std::string& user) {
    sim::InitOptions options;
    options.config.user = user;
    return options;
}

// One fresh machine with the program's backup state and a recording user interface.
struct World {
    explicit World(sim::InitOptions options = {}) : sandbox(std::move(options)) {
        context.wow64KeyFlag = 256;
        context.owner = kOwner;
        context.caption = system::kMainCaption;
        context.showPanel = [this](bool visible) { panel.push_back(visible); };
        backup.Random = [this](int) {
            int next = draws.front();
            draws.pop_front();
            return next;
        };
        names = driverconfig::ReadDriverFileNames(256);
        paths = driverconfig::DriverFilePathsFor(names);
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& box : ui.boxes)
            texts.push_back(box.text);
        return texts;
    }
    std::string Description() const { return GetFile(paths.mergedConfigPath).value_or("-"); }
    std::string Capabilities() const { return GetFile(paths.deviceCapabilitiesPath).value_or("-"); }

    SettingsResult Save() {
        ui.QueueFile(kArchive);
        return backup.Save(context, true);
    }
    SettingsResult Restore() {
        ui.QueueFile(kArchive);
        return backup.Restore(context);
    }
    // Changes everything a backup holds.
    void ChangeEverything() {
        sim::reg::SetString("HKCU\\Printers\\DevModePerUser", "Microsoft Print to PDF", "changed");
        sim::reg::SetString("HKCU\\Printers\\Settings\\New", "Added", "later");
        PutFile(paths.mergedConfigPath, "*% changed description\r\n");
        PutFile(paths.deviceCapabilitiesPath, "<changed/>\r\n");
    }
    // The bytes that saving the key of `row` writes.
    std::string HiveOf(int row) {
        const std::string path = "C:\\hive" + std::to_string(row) + ".reg";
        EXPECT_TRUE(SaveHiveFile(kSettingsKeys[row].keyPath, path, 256));
        std::string bytes = GetFile(path).value_or("");
        win::DeleteFileA(path);
        return bytes;
    }

    testsupport::ScopedSandbox sandbox;
    testsupport::RecordingUi ui;
    SettingsBackup backup;
    SettingsContext context;
    std::vector<bool> panel;
    std::deque<int> draws{17, 4093};
    driverconfig::DriverFileNames names;
    driverconfig::DriverFilePaths paths;
};

FixtureEntry Entry(const std::string& name, const std::string& data) {
    FixtureEntry entry;
    entry.Name = name;
    entry.Data = data;
    return entry;
}

TEST(SettingsBackup, RefusalsAndCancelledDialogsWriteNothingAndSayNothingMore) {
    struct Case {
        const char* what;
        const char* user;
        bool restore;
        bool selected;
        SettingsResult result;
        std::vector<std::string> texts;
        std::vector<bool> panel;
    };
    const std::vector<Case> cases = {
        {"save without administrator",
         "filtered-admin",
         false,
         true,
         SettingsResult::NotAdministrator,
         {system::kPermissionDeniedText},
         {}},
        {"restore without administrator",
         "filtered-admin",
         true,
         true,
         SettingsResult::NotAdministrator,
         {system::kPermissionDeniedText},
         {}},
        {"save without selection",
         "admin",
         false,
         false,
         SettingsResult::NoSelection,
         {system::kSelectPrinterFirst},
         {}},
        {"save cancelled", "admin", false, true, SettingsResult::Cancelled, {}, {false, true}},
        {"restore cancelled", "admin", true, true, SettingsResult::Cancelled, {}, {false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        World w(AsUser(c.user));
        const std::string program = win::GetModuleFileNameA();
        w.ui.QueueFile(std::nullopt);
        EXPECT_EQ(c.restore ? w.backup.Restore(w.context) : w.backup.Save(w.context, c.selected),
                  c.result);
        EXPECT_EQ(w.Texts(), c.texts);
        EXPECT_EQ(w.panel, c.panel);
        const bool asked = c.result == SettingsResult::Cancelled;
        ASSERT_EQ(w.ui.dialogs.size(), asked ? 1u : 0u);
        if (asked) {
            const auto& dialog = w.ui.dialogs[0];
            EXPECT_EQ(dialog.title, c.restore ? "Open" : "Save As");
            EXPECT_EQ(dialog.filter, "Printer Settings (*.roy)|*.roy");
            EXPECT_EQ(dialog.defaultExtension, "roy");
            EXPECT_EQ(dialog.initialDir, program.substr(0, program.rfind('\\')));
            EXPECT_EQ(dialog.overwritePrompt, !c.restore);
        }
        EXPECT_TRUE(ListFolder(kDocuments).empty());
        EXPECT_TRUE(ListFolder(kTemp).empty());
    }
}

TEST(SettingsBackup, SaveArchivesKeysThenDriverFilesAndRestorePutsThemBack) {
    World w;
    for (const char* name : {"1.reg", "2.reg", "3.reg"})
        PutFile(kDocuments + "\\" + name, "an old file of the user's");
    EXPECT_EQ(w.Save(), SettingsResult::Complete);
    EXPECT_EQ(w.Texts(), std::vector<std::string>{kBackupSuccessText});
    EXPECT_EQ(w.panel, (std::vector<bool>{false, true}));
    EXPECT_EQ(EntryNames(kArchive),
              (std::vector<std::string>{"1.reg", "2.reg", "3.reg", w.names.mergedConfigName,
                                        w.names.deviceCapabilitiesName}));
    EXPECT_EQ(ListFolder(kDocuments), std::vector<std::string>{"pdf.roy"});

    // The archive holds what the registry and the driver held, not the user's old files.
    const std::string keys = Printers(), description = w.Description(),
                      capabilities = w.Capabilities();
    const auto driverFolder = ListFolder(w.paths.queueFolder);
    w.ChangeEverything();
    EXPECT_EQ(w.Restore(), SettingsResult::Complete);
    EXPECT_EQ(w.ui.dialogs.back().initialDir, kDocuments) << "beside the archive saved last";
    EXPECT_EQ(w.Texts().back(), kRestoreSuccessText);
    EXPECT_EQ(Printers(), keys);
    EXPECT_EQ(w.Description(), description);
    EXPECT_EQ(w.Capabilities(), capabilities);
    EXPECT_TRUE(ListFolder(kTemp).empty());
    EXPECT_EQ(ListFolder(w.paths.queueFolder), driverFolder) << "no temporary file left";
    for (const sim::ShellEvent& event : sim::ShellEvents())
        EXPECT_NE(event.source, "loader") << event.detail << " ran with redirection off";
}

TEST(SettingsBackup, WhatCouldNotBeSavedIsNamedInsteadOfSuccess) {
    struct Case {
        const char* what;
        std::function<void(World&)> damage;
        std::vector<std::string> entries;  // "D" and "C" stand for the two driver files
        std::string named;
    };
    const std::vector<Case> cases = {
        {"description missing",
         [](World& w) { win::DeleteFileA(w.paths.mergedConfigPath); },
         {"1.reg", "2.reg", "3.reg", "C"},
         "D"},
        {"both driver files missing",
         [](World& w) {
             win::DeleteFileA(w.paths.mergedConfigPath);
             win::DeleteFileA(w.paths.deviceCapabilitiesPath);
         },
         {"1.reg", "2.reg", "3.reg"},
         "C"},
        {"key missing",
         [](World&) { sim::reg::DeleteKey("HKCU\\Printers\\DevModes2"); },
         {"1.reg", "3.reg", "D", "C"},
         "HKEY_CURRENT_USER\\Printers\\DevModes2"},
        {"capabilities not named in the registry",
         [](World&) {
             sim::reg::DeleteValue("HKLM\\" + std::string(driverconfig::kPrinterDriverDataKey),
                                   "V4_PrintDeviceCapabilities");
         },
         {"1.reg", "2.reg", "3.reg", "D"},
         "the device capabilities file (the printer's registry names none)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        World w;
        c.damage(w);
        auto expand = [&](const std::string& s) {
            return s == "D"   ? w.paths.mergedConfigPath
                   : s == "C" ? w.paths.deviceCapabilitiesPath
                              : s;
        };
        EXPECT_EQ(w.Save(), SettingsResult::Incomplete);
        std::vector<std::string> expected;
        for (const auto& e : c.entries)
            expected.push_back(e.size() == 1 ? expand(e).substr(expand(e).rfind('\\') + 1) : e);
        EXPECT_EQ(EntryNames(kArchive), expected);
        ASSERT_EQ(w.ui.boxes.size(), 1u);
        const std::string& text = w.ui.boxes[0].text;
        EXPECT_EQ(text.rfind("The backup is incomplete. These were not saved:\r\n", 0), 0u);
        EXPECT_NE(text.find(expand(c.named)), std::string::npos) << text;
    }
}

TEST(SettingsBackup, SavingOverAnArchiveKeepsOtherEntriesAndReplacesWhatDiffers) {
    // Entries dated later than the files (a clock that ran ahead, or an archive restored from
    // an older state) are replaced all the same when their content differs from the disk.
    World w;
    const std::string capabilities = "C:\\old\\" + w.names.deviceCapabilitiesName;
    PutFile("C:\\old\\notes.txt", "kept");
    PutFile(capabilities, "old capabilities, dated later");
    PutFile("C:\\old\\1.reg", "the key as it was elsewhere");
    for (const std::string& file : {capabilities, std::string("C:\\old\\1.reg")})
        SetWriteTime(file, 2099, 1, 1, 0, 0, 0);
    archive::TZipper zipper;
    zipper.ZipName = kArchive;
    zipper.FilesList = {"C:\\old\\notes.txt", capabilities, "C:\\old\\1.reg"};
    zipper.Zip();

    EXPECT_EQ(w.Save(), SettingsResult::Complete);
    EXPECT_EQ(w.Texts(), std::vector<std::string>{kBackupSuccessText});
    EXPECT_EQ(EntryNames(kArchive),
              (std::vector<std::string>{"notes.txt", w.names.deviceCapabilitiesName, "1.reg",
                                        "2.reg", "3.reg", w.names.mergedConfigName}));
    archive::TUnZipper reader;
    reader.ZipName = kArchive;
    EXPECT_EQ(reader.ReadZipDirectory()[1].Crc32, Crc(w.Capabilities()));
    EXPECT_EQ(reader.ReadZipDirectory()[2].Crc32, Crc(w.HiveOf(0)));
    EXPECT_EQ(ListFolder(kDocuments), std::vector<std::string>{"pdf.roy"});
}

TEST(SettingsBackup, NonZipSaveTargetRaisesAndStaysUnchanged) {
    World w;
    PutFile(kArchive, "my own notes, not an archive");
    try {
        w.Save();
        ADD_FAILURE() << "no error";
    } catch (const archive::EIncompleteZip& error) {
        EXPECT_STREQ(error.what(), "Incomplete Zip File");
    }
    EXPECT_EQ(GetFile(kArchive), "my own notes, not an archive");
    EXPECT_EQ(ListFolder(kDocuments), std::vector<std::string>{"pdf.roy"});
    EXPECT_EQ(w.panel, (std::vector<bool>{false, true}));
    EXPECT_TRUE(w.ui.boxes.empty());
}

TEST(SettingsBackup, UnusualArchivesRestoreWhatTheyCanAndSaySo) {
    struct Case {
        const char* what;
        std::vector<std::string> entries;  // "D"/"C": the driver files; "!": a wrong CRC-32
        SettingsResult result;
        std::vector<std::string> texts;  // each the start of a box's text
        bool keysBack;
        bool filesBack;
    };
    const std::string incomplete = "The restore is incomplete. These were not restored:\r\n";
    const std::vector<Case> cases = {
        {"entries with folder parts",
         {"a/1.reg", "b/2.reg", "b/3.reg", "x/D", "x/y/C"},
         SettingsResult::Complete,
         {kRestoreSuccessText},
         true,
         true},
        {"zero-byte archive",
         {},
         SettingsResult::Incomplete,
         {kRestoreErrorText, kRestoreErrorText, kRestoreErrorText,
          incomplete + "HKEY_CURRENT_USER\\Printers\\DevModePerUser\r\n"
                       "HKEY_CURRENT_USER\\Printers\\DevModes2\r\n"
                       "HKEY_CURRENT_USER\\Printers\\Settings"},
         false,
         false},
        {"an entry that plays no role",
         {"1.reg", "2.reg", "3.reg", "notes.txt"},
         SettingsResult::Incomplete,
         {incomplete + "notes.txt (no driver file of this name on this computer)"},
         true,
         false},
        {"a damaged entry",
         {"1.reg", "!2.reg", "3.reg", "D", "C"},
         SettingsResult::Damaged,
         {"The archive is damaged; nothing was restored. These entries could not be read:\r\n"
          "2.reg"},
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        World w;
        const std::string keys = Printers(), description = w.Description(),
                          capabilities = w.Capabilities();
        std::vector<FixtureEntry> entries;
        for (std::string name : c.entries) {
            const bool damaged = name[0] == '!';
            if (damaged)
                name.erase(0, 1);
            const std::string folder = name.substr(0, name.rfind('/') + 1);
            const std::string file = name.substr(folder.size());
            std::string data = file == "D" ? description : file == "C" ? capabilities : "";
            for (int row = 0; row < 3; ++row)
                if (file == kSettingsKeys[row].entryName)
                    data = w.HiveOf(row);
            entries.push_back(Entry(folder + (file == "D"   ? w.names.mergedConfigName
                                              : file == "C" ? w.names.deviceCapabilitiesName
                                                            : file),
                                    data));
            if (damaged)
                entries.back().Crc32 = 1;
        }
        if (entries.empty())
            PutFile(kArchive, "");
        else
            PutBytes(kArchive, BuildArchive(entries));
        w.ChangeEverything();
        const std::string changedKeys = Printers();

        EXPECT_EQ(w.Restore(), c.result);
        ASSERT_EQ(w.ui.boxes.size(), c.texts.size()) << ::testing::PrintToString(w.Texts());
        for (std::size_t i = 0; i < c.texts.size(); ++i)
            EXPECT_EQ(w.ui.boxes[i].text.rfind(c.texts[i], 0), 0u) << w.ui.boxes[i].text;
        EXPECT_EQ(Printers(), c.keysBack ? keys : changedKeys);
        EXPECT_EQ(w.Description() == description, c.filesBack);
        EXPECT_EQ(w.Capabilities() == capabilities, c.filesBack);
        EXPECT_TRUE(ListFolder(kTemp).empty());
    }
}

// A description entry that is missing or cannot be a file name on Windows is named as not
// restored, never passed over in silence.
TEST(SettingsBackup, DriverEntriesThatCannotBeRestoredAreNamed) {
    for (const std::string name :
         {"", "NUL.gpd", "con.gpd", "COM\xB9.gpd", "a\x1b.gpd", "a|b.gpd"}) {
        SCOPED_TRACE(name);
        World w;
        std::vector<FixtureEntry> entries;
        for (int row = 0; row < 3; ++row)
            entries.push_back(Entry(kSettingsKeys[row].entryName, w.HiveOf(row)));
        entries.push_back(Entry(w.names.deviceCapabilitiesName, w.Capabilities()));
        if (!name.empty())
            entries.push_back(Entry(name, "*% from the archive\r\n"));
        PutBytes(kArchive, BuildArchive(entries));
        const std::string description = w.Description();
        EXPECT_EQ(w.Restore(), SettingsResult::Incomplete);
        EXPECT_NE(w.Texts().back().find(w.paths.mergedConfigPath), std::string::npos)
            << w.Texts().back();
        EXPECT_EQ(w.Description(), description);
    }
}

// The restore takes only the five entries it knows, by their full names, each no larger than
// the bound; nothing else of the archive is written anywhere.
TEST(SettingsBackup, RestoreExtractsOnlyTheKnownEntriesWithinTheBound) {
    constexpr std::uint32_t kFourGiB = 0xFFFFFFF0;
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::uint32_t>> extra;  // name, declared size (0: real)
        bool realFirstHive;  // the real "1.reg" at the top is there too
        SettingsResult result;
        const char* text;  // the start of the closing box
    };
    const std::vector<Case> cases = {
        {"a 4 GiB entry it does not use",
         {{"zeros.bin", kFourGiB}},
         true,
         SettingsResult::Incomplete,
         "The restore is incomplete"},
        {"a 4 GiB hive",
         {{"1.reg", kFourGiB}},
         false,
         SettingsResult::Damaged,
         "The archive is damaged; nothing was restored. These entries could not be read:\r\n"
         "1.reg (larger than 64 MiB)"},
        {"the same bare name in a folder",
         {{"sub/1.reg", 0}},
         true,
         SettingsResult::Complete,
         kRestoreSuccessText},
        {"the name only in two folders",
         {{"a/1.reg", 0}, {"b/1.reg", 0}},
         false,
         SettingsResult::Damaged,
         "The archive is damaged; nothing was restored."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        World w;
        const std::string keys = Printers();
        std::vector<FixtureEntry> entries;
        if (c.realFirstHive)
            entries.push_back(Entry("1.reg", w.HiveOf(0)));
        for (const auto& [name, declared] : c.extra) {
            entries.push_back(Entry(name, "not a hive"));
            if (declared != 0) {
                entries.back().UncompressedSize = declared;
                entries.back().Payload = RawDeflate(std::string(1024, '\0'));
            }
        }
        entries.push_back(Entry("2.reg", w.HiveOf(1)));
        entries.push_back(Entry("3.reg", w.HiveOf(2)));
        entries.push_back(Entry(w.names.mergedConfigName, w.Description()));
        entries.push_back(Entry(w.names.deviceCapabilitiesName, w.Capabilities()));
        PutBytes(kArchive, BuildArchive(entries));
        w.ChangeEverything();
        const std::string changed = Printers();

        EXPECT_EQ(w.Restore(), c.result);
        ASSERT_FALSE(w.ui.boxes.empty());
        EXPECT_EQ(w.ui.boxes.back().text.rfind(c.text, 0), 0u) << w.ui.boxes.back().text;
        EXPECT_EQ(Printers(), c.result == SettingsResult::Damaged ? changed : keys);
        EXPECT_TRUE(ListFolder(kTemp).empty());
    }
}

// Another process of the user swaps the new extraction folder for a link to a folder it may not
// write to, just before the first entry is written: the entries, extracted with the user's
// rights, cannot land there, and the clean-up removes only the link.
TEST(SettingsBackup, ExtractionFolderSwappedForALinkWritesNothingThere) {
    World w;
    ASSERT_EQ(w.Save(), SettingsResult::Complete);
    PutFile("C:\\Windows\\Victim\\keep.dll", "system");
    const std::string folder = kTemp + "\\\\PrintToPDF17D4093";
    bool swapped = false;
    sim::SetBeforePathHook([&](const std::string& path) {
        if (!swapped && path.rfind(folder + "\\qzx", 0) == 0) {
            swapped = true;
            std::filesystem::rename(w.sandbox.HostPath(folder),
                                    w.sandbox.HostPath(kTemp + "\\moved"));
            std::filesystem::create_directory_symlink(w.sandbox.HostPath("C:\\Windows\\Victim"),
                                                      w.sandbox.HostPath(folder));
        }
    });
    w.ChangeEverything();
    const std::string changed = Printers();
    EXPECT_EQ(w.Restore(), SettingsResult::Damaged);
    sim::SetBeforePathHook(nullptr);
    EXPECT_TRUE(swapped);
    EXPECT_EQ(ListFolder("C:\\Windows\\Victim"), std::vector<std::string>{"keep.dll"});
    EXPECT_EQ(Printers(), changed);
    EXPECT_EQ(ListFolder(kTemp), std::vector<std::string>{"moved"});
}

// Another process of the user keeps swapping any extraction folder it sees for a link to a
// folder only administrators may change, while restores run, 50 times: that folder gains and
// loses nothing.
TEST(SettingsBackup, ARacingSwapperReachesNothingOutsideTheUsersPlaces) {
    World w;
    ASSERT_EQ(w.Save(), SettingsResult::Complete);
    PutFile("C:\\Windows\\Victim\\keep.dll", "system");
    PutFile("C:\\Windows\\Victim\\1.reg", "system");
    const std::filesystem::path temp = w.sandbox.HostPath(kTemp);
    const std::filesystem::path victim = w.sandbox.HostPath("C:\\Windows\\Victim");
    for (int run = 0; run < 50; ++run) {
        w.draws = {run, 4093};
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            std::error_code ec;
            for (int n = 0; !stop; ++n) {
                for (const auto& entry : std::filesystem::directory_iterator(temp, ec)) {
                    const std::string name = entry.path().filename().string();
                    if (name.rfind("PrintToPDF", 0) == 0 && !entry.is_symlink(ec)) {
                        std::filesystem::rename(entry.path(), temp / ("moved" + std::to_string(n)),
                                                ec);
                        std::filesystem::create_directory_symlink(victim, entry.path(), ec);
                    }
                }
            }
        });
        try {
            w.Restore();
        } catch (const std::exception&) {
            // A swap may make the restore fail; what matters is what it touched.
        }
        stop = true;
        swapper.join();
        ASSERT_EQ(ListFolder("C:\\Windows\\Victim"),
                  (std::vector<std::string>{"1.reg", "keep.dll"}))
            << "run " << run;
        ASSERT_EQ(GetFile("C:\\Windows\\Victim\\1.reg"), "system") << "run " << run;
    }
}

// Another process of the user, without elevation, attacks each name the save and the restore
// use: a link planted before the run, or a plain file swapped for a link the moment the program
// names it. Nothing outside the user's places changes, and nothing the user may not read ends
// up in the archive, the registry or the driver folder.
TEST(SettingsBackup, LinksAndSwapsInTheUsersPlacesReachNothingElse) {
    const std::string dism = "C:\\Windows\\Victim\\keep.dll",
                      adminsOnly = "C:\\ProgramData\\A\\x.dat";
    const std::string secret = "C:\\Users\\Other\\secret.txt",
                      otherHive = "C:\\Users\\Other\\1.reg";
    struct Attack {
        const char* what;
        bool restore;
        std::string planted;  // a link planted at this name before the run...
        std::string swapped;  // ...or a file whose name starts so swapped for a link when named
        std::string victim;
    };
    const std::vector<Attack> attacks = {
        {"partial archive planted", false, kArchive + "$$$", "", dism},
        {"partial archive planted at an administrators' file", false, kArchive + "$$$", "",
         adminsOnly},
        {"archive folder planted", false, kDocuments + "\\in", "", "C:\\Windows\\Victim"},
        {"update's temporary file swapped", false, "", "qzp", adminsOnly},
        {"staged hive swapped", false, "", "1.reg", secret},
        {"extracted hive swapped", true, "", "1.reg", otherHive},
        {"extracted description swapped", true, "", "M", secret},
    };
    for (const Attack& a : attacks) {
        SCOPED_TRACE(a.what);
        World w;
        PutFile(dism, "system");
        PutFile(adminsOnly, "administrators' own");
        PutFile(secret, "the other user's secret");
        sim::reg::SetString("HKCU\\Printers\\DevModePerUser", "Other", "the other user's");
        ASSERT_TRUE(SaveHiveFile(kSettingsKeys[0].keyPath, otherHive, 256));
        sim::reg::DeleteValue("HKCU\\Printers\\DevModePerUser", "Other");
        sim::reg::SetString("HKLM\\" + std::string(driverconfig::kPrinterDriverDataKey),
                            "V4_Merged_ConfigFile_Name", "M.gpd");
        w.names = driverconfig::ReadDriverFileNames(256);
        w.paths = driverconfig::DriverFilePathsFor(w.names);
        PutFile(w.paths.mergedConfigPath, "*% description\r\n");
        std::string archive = kArchive;
        if (a.restore || a.swapped == "qzp") {
            ASSERT_EQ(w.Save(), SettingsResult::Complete);
        }
        if (!a.planted.empty()) {
            std::filesystem::create_symlink(w.sandbox.HostPath(a.victim),
                                            w.sandbox.HostPath(a.planted));
            if (a.planted.ends_with("\\in"))
                archive = a.planted + "\\pdf.roy";
        }
        sim::SetBeforePathHook([&](const std::string& path) {
            const std::string name = path.substr(path.rfind('\\') + 1);
            if (a.swapped.empty() || path.rfind("C:\\Users\\User\\", 0) != 0 ||
                name.rfind(a.swapped, 0) != 0)
                return;
            const auto host = w.sandbox.HostPath(path);
            std::error_code ec;
            if (std::filesystem::is_regular_file(std::filesystem::symlink_status(host, ec))) {
                std::filesystem::rename(host, host.string() + ".moved", ec);
                std::filesystem::create_symlink(w.sandbox.HostPath(a.victim), host, ec);
            }
        });
        w.ui.QueueFile(archive);
        try {
            a.restore ? w.backup.Restore(w.context) : w.backup.Save(w.context, true);
        } catch (const std::exception&) {
            // Refusing is a fine answer; what matters is what the run touched.
        }
        sim::SetBeforePathHook(nullptr);
        EXPECT_EQ(ListFolder("C:\\Windows\\Victim"), std::vector<std::string>{"keep.dll"});
        EXPECT_EQ(GetFile(dism), "system");
        EXPECT_EQ(GetFile(adminsOnly), "administrators' own");
        EXPECT_EQ(Printers().find("the other user's"), std::string::npos);
        EXPECT_NE(w.Description(), "the other user's secret");
        if (a.restore) {
            EXPECT_EQ(w.Texts().back().rfind("The restore is incomplete", 0), 0u)
                << w.Texts().back();
        }
        if (!a.restore && GetFile(kArchive)) {
            archive::TUnZipper reader;
            reader.ZipName = kArchive;
            for (const auto& entry : reader.ReadZipDirectory())
                EXPECT_NE(entry.Crc32, Crc("the other user's secret")) << entry.FileName;
        }
    }
}

TEST(SettingsBackup, TruncatedArchiveRaisesAndChangesNothing) {
    World w;
    ASSERT_EQ(w.Save(), SettingsResult::Complete);
    const std::string whole = GetFile(kArchive).value_or("");
    PutFile(kArchive, whole.substr(0, whole.size() - 30));
    w.ChangeEverything();
    const std::string keys = Printers(), description = w.Description();
    w.panel.clear();
    EXPECT_THROW(w.Restore(), archive::EIncompleteZip);
    EXPECT_EQ(Printers(), keys);
    EXPECT_EQ(w.Description(), description);
    EXPECT_EQ(w.panel, (std::vector<bool>{false, true}));
    EXPECT_TRUE(ListFolder(kTemp).empty());
}

TEST(SettingsBackup, ExistingExtractionFolderIsEmptiedReusedAndRemoved) {
    World w;
    const std::string folder = kTemp + "\\\\PrintToPDF17D4093";
    EXPECT_EQ(ExtractionFolderPath(kTemp + "\\", 17, 4093), folder);
    PutFile(folder + "\\1.reg", w.HiveOf(0));  // left by an earlier restore
    PutBytes(kArchive, BuildArchive({Entry("2.reg", w.HiveOf(1)), Entry("3.reg", w.HiveOf(2))}));
    w.ChangeEverything();
    EXPECT_EQ(w.Restore(), SettingsResult::Incomplete);
    EXPECT_EQ(w.Texts().front(), kRestoreErrorText) << "the stale 1.reg must not be restored";
    EXPECT_EQ(sim::reg::FormatData(
                  *sim::reg::GetValue("HKCU\\Printers\\DevModePerUser", "Microsoft Print to PDF")),
              "changed");
    EXPECT_TRUE(ListFolder(kTemp).empty());
}

TEST(SettingsBackup, ExtractionFolderThatIsALinkLeavesItsTargetAlone) {
    World w;
    ASSERT_EQ(w.Save(), SettingsResult::Complete);
    PutFile("C:\\Keep\\precious.txt", "not the restore's to delete");
    std::filesystem::create_directory_symlink(w.sandbox.HostPath("C:\\Keep"),
                                              w.sandbox.HostPath(kTemp + "\\PrintToPDF17D4093"));
    w.ChangeEverything();
    EXPECT_EQ(w.Restore(), SettingsResult::Complete);
    EXPECT_EQ(ListFolder("C:\\Keep"), std::vector<std::string>{"precious.txt"});
    EXPECT_EQ(GetFile("C:\\Keep\\precious.txt"), "not the restore's to delete");
    EXPECT_TRUE(ListFolder(kTemp).empty());
}

TEST(SettingsBackup, ExtractionFolderThatCannotBeMadeRaisesBeforeAnythingIsRead) {
    World w;
    ASSERT_EQ(w.Save(), SettingsResult::Complete);
    PutFile(kTemp + "\\PrintToPDF17D4093", "a file in the folder's place");
    w.ChangeEverything();
    const std::string keys = Printers();
    try {
        w.Restore();
        ADD_FAILURE() << "no error";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "I/O error 183");
    }
    EXPECT_EQ(Printers(), keys);
    EXPECT_EQ(w.panel.back(), true);
    EXPECT_EQ(GetFile(kTemp + "\\PrintToPDF17D4093"), "a file in the folder's place");
}

// The hives are staged in a folder of their own, so a deep archive folder no longer limits them.
TEST(SettingsBackup, DeepArchiveFolderHoldsOnlyTheArchive) {
    World w;
    const std::string folder = "C:\\" + std::string(125, 'a') + "\\" + std::string(125, 'b');
    ASSERT_TRUE(archive::ForceDirectories(folder));
    w.ui.QueueFile(folder + "\\pdf.roy");
    EXPECT_EQ(w.backup.Save(w.context, true), SettingsResult::Complete);
    EXPECT_EQ(ListFolder(folder), std::vector<std::string>{"pdf.roy"});
    EXPECT_EQ(w.panel, (std::vector<bool>{false, true}));
}

TEST(SettingsBackup, DriverFileThatCannotBeReplacedIsNamedAndLeavesNoTemporaryFile) {
    World w;
    ASSERT_EQ(w.Save(), SettingsResult::Complete);
    const std::string description = w.Description();
    w.ChangeEverything();
    win::SetFileAttributesA(w.paths.deviceCapabilitiesPath, win::FILE_ATTRIBUTE_READONLY);
    const auto driverFolder = ListFolder(w.paths.queueFolder);
    EXPECT_EQ(w.Restore(), SettingsResult::Incomplete);
    EXPECT_EQ(w.Texts().back(), "The restore is incomplete. These were not restored:\r\n" +
                                    w.paths.deviceCapabilitiesPath);
    EXPECT_EQ(w.Capabilities(), "<changed/>\r\n");
    EXPECT_EQ(w.Description(), description) << "the other file is still restored";
    EXPECT_EQ(ListFolder(w.paths.queueFolder), driverFolder);
}

TEST(SettingsBackup, ABackupHoldsTheDriverFilesOnDiskEvenAfterRestoringAnOlderArchive) {
    World w;
    const std::string second = kDocuments + "\\b.roy";
    ASSERT_EQ(w.Save(), SettingsResult::Complete);
    PutFile(w.paths.mergedConfigPath, w.Description() + "*% A6 added\r\n");
    w.ui.QueueFile(second);
    ASSERT_EQ(w.backup.Save(w.context, true), SettingsResult::Complete);
    // The restored description is the older one, but its file is dated now.
    ASSERT_EQ(w.Restore(), SettingsResult::Complete);
    const std::string restored = w.Description();
    EXPECT_EQ(restored.find("A6"), std::string::npos);
    w.ui.QueueFile(second);
    EXPECT_EQ(w.backup.Save(w.context, true), SettingsResult::Complete);
    archive::TUnZipper reader;
    reader.ZipName = second;
    for (const archive::TZipEntryInfo& entry : reader.ReadZipDirectory()) {
        if (entry.FileName == w.names.mergedConfigName) {
            EXPECT_EQ(entry.Crc32, Crc(restored));
        }
    }
}

TEST(SettingsBackup, DriverFileNamesThatArePathsAreNeitherSavedNorRestored) {
    const std::string climb = "..\\..\\..\\..\\..\\..\\Users\\User\\Documents\\secret.txt";
    for (const char* value : {"V4_PrintDeviceCapabilities", "V4_Merged_ConfigFile_Name"}) {
        SCOPED_TRACE(value);
        World w;
        ASSERT_EQ(w.Save(), SettingsResult::Complete);
        const std::string original = w.Capabilities();
        PutFile(kDocuments + "\\secret.txt", "the user's secret");
        PutFile(kDocuments + "\\old.roy", GetFile(kArchive).value_or(""));
        sim::reg::SetString("HKLM\\" + std::string(driverconfig::kPrinterDriverDataKey), value,
                            climb);
        win::DeleteFileA(kArchive);
        EXPECT_EQ(w.Save(), SettingsResult::Incomplete);
        EXPECT_NE(w.Texts().back().find("\"" + climb + "\""), std::string::npos)
            << w.Texts().back();
        for (const std::string& name : EntryNames(kArchive))
            EXPECT_NE(name, "secret.txt");

        // The archive's entry of that role is named and not copied anywhere.
        PutFile(kArchive, GetFile(kDocuments + "\\old.roy").value_or(""));
        EXPECT_EQ(w.Restore(), SettingsResult::Incomplete);
        EXPECT_NE(w.Texts().back().find(climb), std::string::npos) << w.Texts().back();
        EXPECT_EQ(GetFile(kDocuments + "\\secret.txt"), "the user's secret");
    }
}

TEST(SettingsBackup, ARestoreAfterAReinstallPutsEachDriverFileInItsRole) {
    World w;
    ASSERT_EQ(w.Save(), SettingsResult::Complete);
    const std::string description = w.Description(), capabilities = w.Capabilities();
    // A reinstall names the description anew; the old one is gone.
    win::DeleteFileA(w.paths.mergedConfigPath);
    sim::reg::SetString("HKLM\\" + std::string(driverconfig::kPrinterDriverDataKey),
                        "V4_Merged_ConfigFile_Name", "0123abcd.gpd");
    w.names = driverconfig::ReadDriverFileNames(256);
    w.paths = driverconfig::DriverFilePathsFor(w.names);
    PutFile(w.paths.mergedConfigPath, "*% the reinstalled description\r\n");
    PutFile(w.paths.deviceCapabilitiesPath, "<reinstalled/>\r\n");
    EXPECT_EQ(w.Restore(), SettingsResult::Complete);
    EXPECT_EQ(w.Texts().back(), kRestoreSuccessText);
    EXPECT_EQ(w.Description(), description);
    EXPECT_EQ(w.Capabilities(), capabilities);
}

TEST(SettingsBackup, WhatInterruptedRunsLeftBehindDoesNotStopTheNextOnes) {
    World w;
    // An interrupted new archive, and extraction folders of interrupted restores.
    PutFile(kArchive + "$$$", "PK\x03\x04 cut short");
    PutFile(kTemp + "\\PrintToPDF3D12\\1.reg", "stale");
    PutFile(kTemp + "\\PrintToPDF2004D5999\\sub\\x.gpd", "stale");
    PutFile(kTemp + "\\PrintToPDFnotes.txt", "the user's own");
    PutFile(kDocuments + "\\2.reg", "staged beside the archive by an older version");
    EXPECT_EQ(w.Save(), SettingsResult::Complete);
    EXPECT_EQ(ListFolder(kDocuments), std::vector<std::string>{"pdf.roy"});
    // The same beside an archive that is updated, and a restore's temporary driver file.
    PutFile(kArchive + "$$$", "PK\x03\x04 cut short");
    const auto driverFolder = ListFolder(w.paths.queueFolder);
    PutFile(w.paths.queueFolder + "\\qrs1A.TMP", "stale");
    EXPECT_EQ(w.Save(), SettingsResult::Complete);
    EXPECT_EQ(ListFolder(kDocuments), std::vector<std::string>{"pdf.roy"});
    EXPECT_EQ(w.Restore(), SettingsResult::Complete);
    EXPECT_EQ(ListFolder(kTemp), std::vector<std::string>{"PrintToPDFnotes.txt"});
    EXPECT_EQ(ListFolder(w.paths.queueFolder), driverFolder);
}

}  // namespace
}  // namespace quellin::backup
