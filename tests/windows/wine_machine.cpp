// quellin-wine-machine: makes a Wine prefix look like a machine with the "Microsoft Print to
// PDF" printer, through the same Windows calls an installation makes, and reads and writes the
// registry values the end-to-end scripts name.
//
//   quellin-wine-machine pdf-printer             the printer, its V4 driver folder (the
//                                                sandbox's seeded description and capabilities
//                                                document, a compiled cache), and no Quellin
//                                                settings: the state each script starts from
//   quellin-wine-machine reg-set KEY NAME REG_SZ|REG_DWORD DATA
//   quellin-wine-machine reg-get KEY NAME        the data: a number in decimal, or the text
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/sim/seed_files.h"

namespace {

constexpr const char* kPrinter = "Microsoft Print to PDF";
constexpr const char* kPrinterKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\Microsoft Print to PDF";
// Fixed names, so that a rerun replaces the folder instead of adding another.
constexpr const char* kQueue = "5A3C27E1-64B2-4F0D-9C1E-7B8D2F40A915";
constexpr const char* kStem = "3F9A61C0";
constexpr const char* kV4Dirs = "C:\\Windows\\System32\\spool\\V4Dirs";

int Fail(const char* what, DWORD error) {
    std::fprintf(stderr, "quellin-wine-machine: %s failed: %lu\n", what,
                 static_cast<unsigned long>(error));
    return 1;
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    return CloseHandle(file) && ok;
}

// HKLM\... or HKCU\...: the root and the rest.
bool SplitKey(const std::string& key, HKEY& root, std::string& rest) {
    const auto slash = key.find('\\');
    const std::string head = key.substr(0, slash);
    rest = slash == std::string::npos ? "" : key.substr(slash + 1);
    if (head == "HKLM" || head == "HKEY_LOCAL_MACHINE")
        root = HKEY_LOCAL_MACHINE;
    else if (head == "HKCU" || head == "HKEY_CURRENT_USER")
        root = HKEY_CURRENT_USER;
    else
        return false;
    return true;
}

// The 64-bit view, as the program reads the printer's keys on 64-bit Windows.
LONG SetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
              const void* data, DWORD size) {
    HKEY handle = nullptr;
    LONG rc = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                              nullptr, &handle, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = RegSetValueExA(handle, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(handle);
    return rc;
}

LONG SetText(HKEY root, const std::string& key, const std::string& name, const std::string& text) {
    return SetValue(root, key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

int PdfPrinter() {
    const std::string gpd = quellin::platform::sim::SeedMergedDescription();
    const std::string xml = quellin::platform::sim::SeedCapabilities();

    // Wine's PostScript driver stands behind the name: Wine has no PDF driver of its own.
    char driverPath[] = "wineps.drv", dataFile[] = "generic.ppd", configFile[] = "wineps.drv";
    char driverName[] = "Microsoft Print To PDF";
    DRIVER_INFO_3A driver{};
    driver.cVersion = 3;
    driver.pName = driverName;
    driver.pDriverPath = driverPath;
    driver.pDataFile = dataFile;
    driver.pConfigFile = configFile;
    if (!AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_NEW_FILES))
        return Fail("AddPrinterDriverExA", GetLastError());
    char printerName[] = "Microsoft Print to PDF", port[] = "FILE:", processor[] = "WinPrint",
         datatype[] = "RAW";
    PRINTER_INFO_2A printer{};
    printer.pPrinterName = printerName;
    printer.pPortName = port;
    printer.pDriverName = driverName;
    printer.pPrintProcessor = processor;
    printer.pDatatype = datatype;
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE added = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&printer));
    if (added)
        ClosePrinter(added);
    else if (GetLastError() != ERROR_PRINTER_ALREADY_EXISTS)
        return Fail("AddPrinterA", GetLastError());

    const std::string dataKey = std::string(kPrinterKey) + "\\PrinterDriverData";
    const DWORD version = 4;
    LONG rc = SetText(HKEY_LOCAL_MACHINE, kPrinterKey, "PrintQueueV4DriverDirectory", kQueue);
    if (rc == ERROR_SUCCESS)
        rc = SetText(HKEY_LOCAL_MACHINE, dataKey, "V4_Merged_ConfigFile_Name",
                     std::string(kStem) + ".gpd");
    if (rc == ERROR_SUCCESS)
        rc = SetText(HKEY_LOCAL_MACHINE, dataKey, "V4_PrintDeviceCapabilities", "pdc.xml");
    if (rc == ERROR_SUCCESS)
        rc = SetValue(HKEY_LOCAL_MACHINE, dataKey, "V4_Driver_Version", REG_DWORD, &version,
                      sizeof version);
    if (rc == ERROR_SUCCESS)
        rc = SetText(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
                     "Device", std::string(kPrinter) + ",winspool,Ne01:");
    // The user's printer settings, as the settings backup finds them on a machine that printed.
    std::string devmode(220, '\0');
    devmode.replace(0, std::strlen(kPrinter), kPrinter);
    devmode[68] = 1;
    const DWORD none = 0;
    for (const char* key : {"Printers\\DevModePerUser", "Printers\\DevModes2"}) {
        if (rc == ERROR_SUCCESS)
            rc = SetValue(HKEY_CURRENT_USER, key, kPrinter, REG_BINARY, devmode.data(),
                          static_cast<DWORD>(devmode.size()));
    }
    if (rc == ERROR_SUCCESS)
        rc = SetText(HKEY_CURRENT_USER, "Printers\\Settings", kPrinter, "");
    if (rc == ERROR_SUCCESS)
        rc = SetValue(HKEY_CURRENT_USER, "Printers\\Settings\\Wizard", "ConnectMRU", REG_DWORD,
                      &none, sizeof none);
    // The separator a script may have changed, back to the one of an English machine.
    if (rc == ERROR_SUCCESS)
        rc = SetText(HKEY_CURRENT_USER, "Control Panel\\International", "sDecimal", ".");
    if (rc != ERROR_SUCCESS)
        return Fail("writing the printer's registry values", static_cast<DWORD>(rc));
    // A fresh start for the program: no counter, no preferences.
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tarnwell");

    // The driver folder as a fresh installation leaves it: what a script saved before is gone.
    const std::string folder = std::string(kV4Dirs) + "\\" + kQueue;
    CreateDirectoryA(kV4Dirs, nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((folder + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    const std::string stem = folder + "\\" + kStem;
    if (!WriteWhole(stem + ".gpd", gpd) || !WriteWhole(folder + "\\pdc.xml", xml) ||
        !WriteWhole(stem + ".BUD", std::string("BUD1\0compiled", 13)))
        return Fail("writing the driver folder", GetLastError());
    return 0;
}

int RegSet(const std::string& key, const std::string& name, const std::string& type,
           const std::string& data) {
    HKEY root;
    std::string rest;
    if (!SplitKey(key, root, rest))
        return Fail("unknown root key", ERROR_INVALID_PARAMETER);
    LONG rc;
    if (type == "REG_DWORD") {
        const DWORD number = static_cast<DWORD>(std::strtoul(data.c_str(), nullptr, 0));
        rc = SetValue(root, rest, name, REG_DWORD, &number, sizeof number);
    } else if (type == "REG_SZ") {
        rc = SetText(root, rest, name, data);
    } else {
        return Fail("unknown value type", ERROR_INVALID_PARAMETER);
    }
    return rc == ERROR_SUCCESS ? 0 : Fail("RegSetValueExA", static_cast<DWORD>(rc));
}

int RegGet(const std::string& key, const std::string& name) {
    HKEY root;
    std::string rest;
    if (!SplitKey(key, root, rest))
        return Fail("unknown root key", ERROR_INVALID_PARAMETER);
    HKEY handle = nullptr;
    LONG rc = RegOpenKeyExA(root, rest.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &handle);
    DWORD type = 0, size = 0;
    std::string data;
    if (rc == ERROR_SUCCESS) {
        rc = RegQueryValueExA(handle, name.c_str(), nullptr, &type, nullptr, &size);
        data.assign(size, '\0');
        if (rc == ERROR_SUCCESS)
            rc = RegQueryValueExA(handle, name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
        RegCloseKey(handle);
    }
    if (rc != ERROR_SUCCESS)
        return Fail("RegQueryValueExA", static_cast<DWORD>(rc));
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number;
        std::memcpy(&number, data.data(), sizeof number);
        std::printf("%lu\n", static_cast<unsigned long>(number));
    } else {
        data.resize(size);
        while (!data.empty() && data.back() == '\0')
            data.pop_back();
        std::printf("%s\n", data.c_str());
    }
    return 0;
}

// Waits until a top-level window with this caption exists: 0 once it does, 1 after `seconds`.
int WaitWindow(const std::string& caption, int seconds) {
    for (int tenths = 0; tenths < seconds * 10; ++tenths) {
        if (FindWindowA(nullptr, caption.c_str()) != nullptr)
            return 0;
        Sleep(100);
    }
    std::fprintf(stderr, "no window \"%s\" after %d s\n", caption.c_str(), seconds);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "pdf-printer" && argc == 2)
        return PdfPrinter();
    if (verb == "reg-set" && argc == 6)
        return RegSet(argv[2], argv[3], argv[4], argv[5]);
    if (verb == "reg-get" && argc == 4)
        return RegGet(argv[2], argv[3]);
    if (verb == "wait-window" && argc == 4)
        return WaitWindow(argv[2], std::atoi(argv[3]));
    std::fputs(
        "usage: quellin-wine-machine pdf-printer | reg-set KEY NAME TYPE DATA | "
        "reg-get KEY NAME | wait-window CAPTION SECONDS\n",
        stderr);
    return 2;
}
