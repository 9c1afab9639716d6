#include "cli/repair_plan.h"

#include <algorithm>

#include "driverconfig/driver_files.h"
#include "platform/filesystem.h"
#include "platform/handle.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "system/app_info.h"
#include "system/identity.h"
#include "system/redirection.h"

namespace quellin::cli {

namespace {

bool Exists(const std::string& path, win::DWORD wow64KeyFlag) {
    quellin::system::FsRedirectionSpan span(wow64KeyFlag != 0);
    return win::GetFileAttributesA(path) != win::INVALID_FILE_ATTRIBUTES;
}

void AddIfExists(std::vector<std::string>& list, const std::string& path, win::DWORD flag) {
    if (!path.empty() && Exists(path, flag))
        list.push_back(path);
}

void Walk(const std::string& folder, bool skipDotNames, std::vector<std::string>& out, int depth) {
    if (depth > 64)
        return;
    win::WIN32_FIND_DATAA data;
    win::HANDLE find = win::FindFirstFileA(folder + "\\*.*", &data);
    if (find == win::INVALID_HANDLE_VALUE)
        return;
    std::vector<win::WIN32_FIND_DATAA> entries;
    do {
        if (data.cFileName == "." || data.cFileName == "..")
            continue;
        if (skipDotNames && data.cFileName[0] == '.')
            continue;
        entries.push_back(data);
    } while (win::FindNextFileA(find, &data));
    win::FindClose(find);
    for (const win::WIN32_FIND_DATAA& entry : entries) {
        const std::string path = folder + "\\" + entry.cFileName;
        // A linked folder is removed as itself; what it leads to is not listed.
        if ((entry.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (entry.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            Walk(path, skipDotNames, out, depth + 1);
        out.push_back(path);
    }
}

void AddKeyText(win::HKEY key, const std::string& path, int depth, std::string& text) {
    text += "[" + path + "]\n";
    std::string name;
    for (win::DWORD index = 0;; ++index) {
        win::DWORD type = 0, size = 0;
        if (win::RegEnumValueA(key, index, &name, &type, nullptr, &size) !=
            static_cast<win::LONG>(win::ERROR_SUCCESS))
            break;
        std::vector<win::BYTE> data(size);
        if (win::RegEnumValueA(key, index, &name, &type, data.data(), &size) !=
            static_cast<win::LONG>(win::ERROR_SUCCESS))
            size = 0;
        data.resize(std::min<std::size_t>(size, data.size()));
        text +=
            name + "=" + std::to_string(type) + ":" + std::string(data.begin(), data.end()) + "\n";
    }
    std::vector<std::string> subkeys;
    for (win::DWORD index = 0; depth < 32; ++index) {
        if (win::RegEnumKeyExA(key, index, &name) != static_cast<win::LONG>(win::ERROR_SUCCESS))
            break;
        subkeys.push_back(name);
    }
    for (const std::string& subkey : subkeys) {
        win::UniqueHKey child;
        if (win::RegOpenKeyExA(key, subkey, 0, win::KEY_READ, child.put()) ==
            static_cast<win::LONG>(win::ERROR_SUCCESS))
            AddKeyText(child.get(), path + "\\" + subkey, depth + 1, text);
        else
            text += "[" + path + "\\" + subkey + "] unreadable\n";
    }
}

}  // namespace

std::optional<win::DWORD> WhyNotDeleted(const std::string& path) {
    std::optional<quellin::system::UserRightsSpan> asUser;
    if (!win::SameName(win::FolderOf(path), repair::BuildRepairPaths().jobFolder))
        asUser.emplace();
    quellin::system::FsRedirectionSpan span(Wow64KeyFlag() != 0);
    const win::HANDLE probe = win::CreateFileA(
        path, win::DELETE, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE,
        win::OPEN_EXISTING, win::FILE_FLAG_BACKUP_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT);
    if (probe == win::INVALID_HANDLE_VALUE)
        return win::GetLastError();
    win::CloseHandle(probe);
    return std::nullopt;
}

std::string RegistryTreeText(win::HKEY root, const std::string& path) {
    win::UniqueHKey key;
    if (win::RegOpenKeyExA(root, path, 0, win::KEY_READ, key.put()) !=
        static_cast<win::LONG>(win::ERROR_SUCCESS))
        return "[" + path + "] missing\n";
    std::string text;
    AddKeyText(key.get(), path, 0, text);
    return text;
}

std::vector<std::string> ListTree(const std::string& folder, bool skipDotNames,
                                  win::DWORD wow64KeyFlag) {
    std::vector<std::string> out;
    if (folder.empty())
        return out;
    quellin::system::FsRedirectionSpan span(wow64KeyFlag != 0);
    Walk(folder, skipDotNames, out, 0);
    return out;
}

std::vector<JobFact> AllJobs() {
    std::vector<JobFact> jobs;
    for (const PrinterJobs& printer : ReadJobs(AllPrinterNames()))
        jobs.insert(jobs.end(), printer.jobs.begin(), printer.jobs.end());
    return jobs;
}

Plan PlanSequence(int mode, const repair::RepairSettings& settings) {
    Plan plan;
    const repair::RepairPaths paths = repair::BuildRepairPaths();
    const win::DWORD flag = settings.wow64KeyFlag;
    const std::string dism = "dism.exe ";
    auto cleanFolders = [&] {
        plan.steps.push_back("empty the job folder " + paths.jobFolder);
        for (const std::string& path : ListTree(paths.jobFolder, false, flag))
            plan.deletes.push_back(path);
        plan.steps.push_back("empty the temp folder " + paths.tempFolder);
        for (const std::string& path : ListTree(paths.tempFolder, true, flag))
            plan.deletes.push_back(path);
        plan.jobs = AllJobs();
    };
    switch (mode) {
        case repair::kInstallMode:
            plan.steps.push_back(dism + repair::kEnableParameters);
            break;
        case repair::kReinstallMode: {
            plan.steps.push_back(dism + repair::kDisableParameters);
            plan.steps.push_back("delete the printer \"" + settings.targetPrinterName + "\"");
            plan.steps.push_back("delete the driver \"" + settings.targetDriverName + "\"");
            plan.steps.push_back("stop the Spooler service");
            plan.steps.push_back("delete the driver files");
            const driverconfig::DriverFileNames names = driverconfig::ReadDriverFileNames(flag);
            if (driverconfig::HasPlainNames(names) && !names.queueFolderName.empty()) {
                const driverconfig::DriverFilePaths files =
                    driverconfig::BuildDriverFilePaths(names, paths.windowsFolder);
                AddIfExists(plan.deletes, files.queueFolder + "\\" + repair::kCapabilitiesFileName,
                            flag);
                if (!names.mergedConfigName.empty()) {
                    AddIfExists(plan.deletes, files.mergedConfigPath, flag);
                    AddIfExists(plan.deletes, files.cachePath, flag);
                }
            }
            cleanFolders();
            plan.steps.push_back("start the Spooler service");
            plan.steps.push_back(std::string("add the port \"") + system::kPdfPortName +
                                 "\" if it is missing");
            plan.steps.push_back(dism + repair::kEnableParameters);
            break;
        }
        case repair::kMaintenanceMode:
            plan.steps.push_back("stop the Spooler service");
            cleanFolders();
            if (!settings.autoSaveFile.empty()) {
                plan.steps.push_back("delete the auto-save file " + settings.autoSaveFile);
                AddIfExists(plan.deletes, settings.autoSaveFile, flag);
            }
            plan.steps.push_back("start the Spooler service");
            break;
    }
    return plan;
}

Plan PlanPrinterRemoval(const std::string& printer, win::DWORD wow64KeyFlag) {
    Plan plan;
    plan.steps.push_back("delete the printer \"" + printer + "\"");
    // The spooler removes the printer's queue folder with it.
    const driverconfig::DriverFileNames names = driverconfig::ReadDriverFileNames(wow64KeyFlag);
    if (driverconfig::IsPlainName(names.queueFolderName)) {
        const std::string folder =
            driverconfig::BuildDriverFilePaths(names, repair::BuildRepairPaths().windowsFolder)
                .queueFolder;
        plan.deletes = ListTree(folder, false, wow64KeyFlag);
        AddIfExists(plan.deletes, folder, wow64KeyFlag);
    }
    for (const PrinterJobs& entry : ReadJobs({printer}))
        plan.jobs.insert(plan.jobs.end(), entry.jobs.begin(), entry.jobs.end());
    return plan;
}

Json ToolErrorJson(std::int32_t exitCode) {
    if (exitCode == 0 || exitCode == -1 || exitCode == kExitRestartRequired)
        return Json();
    return WindowsErrorJson(static_cast<win::DWORD>(exitCode));
}

Removal ReportRemoved(const std::vector<std::string>& before, const std::vector<JobFact>& jobs,
                      Reporter& reporter) {
    const win::DWORD flag = Wow64KeyFlag();
    Removal removal;
    std::vector<std::string> deleted;
    for (const std::string& path : before)
        (Exists(path, flag) ? removal.left : deleted).push_back(path);
    removal.deleted = deleted.size();
    const std::vector<JobFact> after = AllJobs();
    Json removed = Json::Array();
    for (const JobFact& job : jobs) {
        const bool kept = std::any_of(after.begin(), after.end(), [&](const JobFact& now) {
            return now.id == job.id && now.printer == job.printer;
        });
        if (kept)
            removal.jobsLeft.push_back(job);
        if (!kept) {
            ++removal.jobsRemoved;
            removed.Push(JobJson(job));
            reporter.Line("removed job " + std::to_string(job.id) + " \"" + job.document +
                          "\" of \"" + job.printer + "\"");
        }
    }
    for (const std::string& path : deleted)
        reporter.Line("deleted " + path);
    reporter.data.Set("deleted", Json::StringArray(deleted)).Set("jobsRemoved", std::move(removed));
    return removal;
}

SequenceVerdict JudgeInstall(bool printerPresent, const std::vector<std::int32_t>& toolCodes) {
    SequenceVerdict verdict;
    const bool restart =
        std::find(toolCodes.begin(), toolCodes.end(), kExitRestartRequired) != toolCodes.end();
    if (restart) {
        verdict.exitCode = kExitRestartRequired;
        return verdict;
    }
    if (printerPresent)
        return verdict;
    verdict.exitCode = kExitSystemRefused;
    for (std::int32_t code : toolCodes)
        if (code != 0 && code != -1 && !verdict.windowsError)
            verdict.windowsError = static_cast<win::DWORD>(code);
    if (!verdict.windowsError &&
        std::find(toolCodes.begin(), toolCodes.end(), -1) != toolCodes.end())
        verdict.windowsError = win::ERROR_FILE_NOT_FOUND;  // the tool could not be started
    return verdict;
}

}  // namespace quellin::cli
