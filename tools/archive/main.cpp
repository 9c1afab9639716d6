// quellin-archive: the settings archive component on the command line, for people, tests and
// benchmarks. Paths name the machine's own files (on the sandbox, as drive Z: paths).
//
//   quellin-archive zip ARCHIVE [FILE|FOLDER...] [--level N]
//   quellin-archive unzip ARCHIVE DESTDIR
//   quellin-archive list ARCHIVE
//
// The component's settings are the program's: level 9, bare file names, existing files
// replaced on extraction. Errors print the component's text and exit with 1; a bad command
// line prints what is wrong and the usage, and exits with 2.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "archive/zipper.h"
#include "host_paths.h"
#include "json/json.h"
#include "platform/filesystem.h"

using namespace quellin;

namespace {

using quellin::archive::TOverwriteMode;
using quellin::archive::TZipper;

constexpr const char* kUsage =
    "usage: quellin-archive zip ARCHIVE [FILE|FOLDER...] [--level N]\n"
    "       quellin-archive unzip ARCHIVE DESTDIR\n"
    "       quellin-archive list ARCHIVE\n";

// A command line that names no valid request: what is wrong, the usage, exit code 2.
struct BadCommandLine : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string WindowsPath(const std::string& hostPath, const char* what) {
    if (hostPath.empty()) {
        throw BadCommandLine(std::string(what) + " is empty");
    }
    return tools::WindowsPath(hostPath);
}

json::Value Hex(std::uint64_t v) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(v));
    return buffer;
}

void PrintList(TZipper& zipper) {
    const auto& entries = zipper.ReadZipDirectory();
    const auto& end = zipper.EndCentral();
    json::Value list = json::Value::Array().OnLines();
    for (const auto& e : entries) {
        json::Value local;  // null when no local header stands at the entry's offset
        if (const auto h = zipper.ReadLocalHeader(e)) {
            local = json::Value::Object()
                        .Set("versionNeeded", h->VersionNeeded)
                        .Set("flags", Hex(h->Flags))
                        .Set("method", h->Method)
                        .Set("time", Hex(h->ModTime))
                        .Set("date", Hex(h->ModDate))
                        .Set("crc32", Hex(h->Crc32))
                        .Set("compressedSize", h->CompressedSize)
                        .Set("uncompressedSize", h->UncompressedSize)
                        .Set("nameLength", h->NameLength)
                        .Set("extraLength", h->ExtraLength);
        }
        list.Push(json::Value::Object()
                      .Set("name", e.FullName())
                      .Set("fileName", e.FileName)
                      .Set("folderName", e.FolderName)
                      .Set("versionMadeBy", e.VersionMadeBy)
                      .Set("versionNeeded", e.VersionNeeded)
                      .Set("flags", Hex(e.Flags))
                      .Set("method", e.Method)
                      .Set("time", Hex(e.ModTime))
                      .Set("date", Hex(e.ModDate))
                      .Set("crc32", Hex(e.Crc32))
                      .Set("compressedSize", e.CompressedSize)
                      .Set("uncompressedSize", e.UncompressedSize)
                      .Set("nameLength", e.NameLength)
                      .Set("centralExtraLength", e.CentralExtraLength)
                      .Set("commentLength", e.CommentLength)
                      .Set("diskStart", e.DiskStart)
                      .Set("internalAttributes", e.InternalAttributes)
                      .Set("externalAttributes", Hex(e.ExternalAttributes))
                      .Set("localHeaderOffset", e.LocalHeaderOffset)
                      .Set("comment", e.Comment)
                      .Set("local", std::move(local)));
    }
    const json::Value document = json::Value::Object()
                                     .OnLines()
                                     .Set("archive", zipper.ZipName)
                                     .Set("end", json::Value::Object()
                                                     .Set("entries", end.TotalEntries)
                                                     .Set("entriesOnDisk", end.EntriesOnDisk)
                                                     .Set("centralSize", end.CentralSize)
                                                     .Set("centralOffset", end.CentralOffset)
                                                     .Set("diskNumber", end.DiskNumber)
                                                     .Set("centralDisk", end.CentralDisk)
                                                     .Set("zip64", end.Zip64)
                                                     .Set("comment", end.Comment))
                                     .Set("recovered", zipper.DirectoryRecovered())
                                     .Set("entries", std::move(list));
    std::cout << document.Dump(json::Value::Layout::Readable) << "\n";
}

void PrintCount(const char* what, int count) {
    std::cout << json::Value::Object().Set(what, count).Dump(json::Value::Layout::Readable) << "\n";
}

int Level(const std::string& text) {
    if (text.size() != 1 || text[0] < '0' || text[0] > '9') {
        throw BadCommandLine("--level takes a number from 0 to 9, not \"" + text + "\"");
    }
    return text[0] - '0';
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) {
        throw BadCommandLine("no command given");
    }
    const std::string& command = args[0];
    if (command != "zip" && command != "unzip" && command != "list") {
        throw BadCommandLine("unknown command \"" + command + "\"");
    }
    // Options first, so that every complaint about the command line comes before any work.
    std::vector<std::string> operands;
    int level = 9;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--level" && command == "zip") {
            if (i + 1 == args.size()) {
                throw BadCommandLine("--level needs a number from 0 to 9");
            }
            level = Level(args[++i]);
        } else if (args[i].rfind("--", 0) == 0) {
            throw BadCommandLine("unknown option \"" + args[i] + "\" for " + command);
        } else {
            operands.push_back(args[i]);
        }
    }
    if (operands.empty()) {
        throw BadCommandLine(command + " needs an ARCHIVE");
    }
    if (command == "unzip" && operands.size() != 2) {
        throw BadCommandLine(operands.size() < 2 ? "unzip needs a DESTDIR"
                                                 : "unzip takes ARCHIVE and DESTDIR only");
    }
    if (command == "list" && operands.size() != 1) {
        throw BadCommandLine("list takes ARCHIVE only");
    }
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < operands.size(); ++i) {
        paths.push_back(WindowsPath(operands[i], i == 0             ? "ARCHIVE"
                                                 : command == "zip" ? "FILE"
                                                                    : "DESTDIR"));
    }

    tools::OpenSystem();
    TZipper zipper;
    zipper.ZipName = paths[0];
    zipper.PackLevel = level;
    zipper.OverwriteMode = TOverwriteMode::Always;
    zipper.OnMessage = [](const std::string& text, const std::string& caption) {
        std::cerr << caption << ": " << text << "\n";
    };
    if (command == "zip") {
        for (auto path = paths.begin() + 1; path != paths.end(); ++path) {
            // A folder stands for the files in it.
            const win::DWORD attributes = win::GetFileAttributesA(*path);
            const bool folder = attributes != win::INVALID_FILE_ATTRIBUTES &&
                                (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
            zipper.FilesList.push_back(folder ? *path + "\\*.*" : *path);
        }
        const int added = zipper.Zip();
        PrintCount("added", added);
    } else if (command == "unzip") {
        zipper.DoAll = true;
        zipper.DestDir = paths[1];
        const int extracted = zipper.UnZip();
        PrintCount("extracted", extracted);
    } else {
        PrintList(zipper);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    try {
        return Run(args);
    } catch (const BadCommandLine& e) {
        std::cerr << "quellin-archive: " << e.what() << "\n" << kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
