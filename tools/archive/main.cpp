// quellin-archive: the settings archive component on the command line, for people, tests and
// benchmarks. Paths name the machine's own files (on the sandbox, as drive Z: paths).
//
//   quellin-archive zip ARCHIVE FILE|FOLDER... [--level N]
//   quellin-archive unzip ARCHIVE DESTDIR
//   quellin-archive list ARCHIVE
//
// The component's settings are the program's: level 9, bare file names, existing files
// replaced on extraction. Errors print the component's text and exit with 1.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "backup/zipper.h"
#include "common/json.h"
#include "host_paths.h"
#include "platform/filesystem.h"

namespace {

using quellin::backup::TOverwriteMode;
using quellin::backup::TZipper;

using tools::WindowsPath;

int Usage() {
    std::cerr << "usage: quellin-archive zip ARCHIVE FILE|FOLDER... [--level N]\n"
                 "       quellin-archive unzip ARCHIVE DESTDIR\n"
                 "       quellin-archive list ARCHIVE\n";
    return 2;
}

std::string Hex(std::uint64_t v) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "\"0x%llx\"", static_cast<unsigned long long>(v));
    return buffer;
}

void PrintList(TZipper& zipper) {
    const auto& entries = zipper.ReadZipDirectory();
    const auto& end = zipper.EndCentral();
    std::cout << "{\n  \"archive\": " << tools::JsonString(zipper.ZipName)
              << ",\n  \"end\": {\"entries\": " << end.TotalEntries
              << ", \"entriesOnDisk\": " << end.EntriesOnDisk
              << ", \"centralSize\": " << end.CentralSize
              << ", \"centralOffset\": " << end.CentralOffset
              << ", \"diskNumber\": " << end.DiskNumber << ", \"centralDisk\": " << end.CentralDisk
              << ", \"zip64\": " << (end.Zip64 ? "true" : "false")
              << ", \"comment\": " << tools::JsonString(end.Comment) << "},\n"
              << "  \"recovered\": " << (zipper.DirectoryRecovered() ? "true" : "false")
              << ",\n  \"entries\": [";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        std::cout << (i ? "," : "") << "\n    {\"name\": " << tools::JsonString(e.FullName())
                  << ", \"fileName\": " << tools::JsonString(e.FileName)
                  << ", \"folderName\": " << tools::JsonString(e.FolderName)
                  << ", \"versionMadeBy\": " << e.VersionMadeBy
                  << ", \"versionNeeded\": " << e.VersionNeeded << ", \"flags\": " << Hex(e.Flags)
                  << ", \"method\": " << e.Method << ", \"time\": " << Hex(e.ModTime)
                  << ", \"date\": " << Hex(e.ModDate) << ", \"crc32\": " << Hex(e.Crc32)
                  << ", \"compressedSize\": " << e.CompressedSize
                  << ", \"uncompressedSize\": " << e.UncompressedSize
                  << ", \"nameLength\": " << e.NameLength
                  << ", \"centralExtraLength\": " << e.CentralExtraLength
                  << ", \"commentLength\": " << e.CommentLength
                  << ", \"diskStart\": " << e.DiskStart
                  << ", \"internalAttributes\": " << e.InternalAttributes
                  << ", \"externalAttributes\": " << Hex(e.ExternalAttributes)
                  << ", \"localHeaderOffset\": " << e.LocalHeaderOffset
                  << ", \"comment\": " << tools::JsonString(e.Comment);
        if (const auto local = zipper.ReadLocalHeader(e)) {
            std::cout << ", \"local\": {\"versionNeeded\": " << local->VersionNeeded
                      << ", \"flags\": " << Hex(local->Flags) << ", \"method\": " << local->Method
                      << ", \"time\": " << Hex(local->ModTime)
                      << ", \"date\": " << Hex(local->ModDate)
                      << ", \"crc32\": " << Hex(local->Crc32)
                      << ", \"compressedSize\": " << local->CompressedSize
                      << ", \"uncompressedSize\": " << local->UncompressedSize
                      << ", \"nameLength\": " << local->NameLength
                      << ", \"extraLength\": " << local->ExtraLength << "}";
        } else {
            std::cout << ", \"local\": null";
        }
        std::cout << "}";
    }
    std::cout << "\n  ]\n}\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2) {
        return Usage();
    }
    const std::string command = args[0];
    try {
        tools::OpenSystem();
        TZipper zipper;
        zipper.ZipName = WindowsPath(args[1]);
        zipper.PackLevel = 9;
        zipper.OverwriteMode = TOverwriteMode::Always;
        zipper.OnMessage = [](const std::string& text, const std::string& caption) {
            std::cerr << caption << ": " << text << "\n";
        };
        if (command == "zip") {
            for (std::size_t i = 2; i < args.size(); ++i) {
                if (args[i] == "--level" && i + 1 < args.size()) {
                    zipper.PackLevel = std::stoi(args[++i]);
                    if (zipper.PackLevel < 0 || zipper.PackLevel > 9) {
                        return Usage();
                    }
                } else {
                    // A folder stands for the files in it.
                    std::string path = WindowsPath(args[i]);
                    const win::DWORD attributes = win::GetFileAttributesA(path);
                    if (attributes != win::INVALID_FILE_ATTRIBUTES &&
                        (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0) {
                        path += "\\*.*";
                    }
                    zipper.FilesList.push_back(path);
                }
            }
            const int added = zipper.Zip();
            std::cout << "{\"added\": " << added << "}\n";
        } else if (command == "unzip" && args.size() == 3) {
            zipper.DoAll = true;
            zipper.DestDir = WindowsPath(args[2]);
            const int extracted = zipper.UnZip();
            std::cout << "{\"extracted\": " << extracted << "}\n";
        } else if (command == "list" && args.size() == 2) {
            PrintList(zipper);
        } else {
            return Usage();
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
