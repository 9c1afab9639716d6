#include "platform/sim/seed.h"

#include <fstream>
#include <random>

#include "platform/registry.h"
#include "platform/sim/control.h"
#include "platform/sim/registry_store.h"

namespace quellin::platform::sim {

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string RandomHex(std::mt19937& rng, int digits) {
    static const char* hex = "0123456789ABCDEF";
    std::string s;
    for (int i = 0; i < digits; ++i)
        s += hex[rng() % 16];
    return s;
}

void AddPrinterRow(const std::string& name, const std::string& port, const std::string& driver,
                   long attributes) {
    db().Prepare("INSERT OR REPLACE INTO printers(name, port, driver, attributes) VALUES(?,?,?,?)")
        .Bind(1, name)
        .Bind(2, port)
        .Bind(3, driver)
        .Bind(4, attributes)
        .Run();
    std::string key = std::string(kPrintersKey) + "\\" + name;
    reg::SetString(key, "Name", name);
    reg::SetString(key, "Port", port);
    reg::SetString(key, "Printer Driver", driver);
    reg::SetDword(key, "Attributes", static_cast<std::uint32_t>(attributes));
    reg::SetString("HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices", name,
                   "winspool,Ne0" + std::to_string(name.size() % 10) + ":");
}

void AddDriver(const std::string& name, int version) {
    for (const char* env : {"Windows x64", "Windows NT x86"}) {
        db().Prepare("INSERT OR IGNORE INTO drivers(name, environment, version) VALUES(?, ?, ?)")
            .Bind(1, name)
            .Bind(2, env)
            .Bind(3, version)
            .Run();
    }
}

}  // namespace

std::string InstallPdfPrinter() {
    std::random_device device;
    std::mt19937 rng(device());
    std::string queue = RandomHex(rng, 8) + "-" + RandomHex(rng, 4) + "-" + RandomHex(rng, 4) +
                        "-" + RandomHex(rng, 4) + "-" + RandomHex(rng, 12);
    std::string stem = RandomHex(rng, 8);
    fs::path folder = HostPathNative("C:\\Windows\\System32\\spool\\V4Dirs\\" + queue);
    WriteFile(folder / (stem + ".gpd"), SeedMergedDescription());
    WriteFile(folder / (stem + ".BUD"), std::string("BUD1\0compiled", 13));
    WriteFile(folder / "pdc.xml", SeedCapabilities());

    Transaction tx(db());
    AddPort("PORTPROMPT:", "Local Port");
    AddDriver(kPdfDriverName, 4);
    AddPrinterRow(kPdfPrinterName, "PORTPROMPT:", kPdfDriverName, 0x240);
    std::string key = std::string(kPrintersKey) + "\\" + kPdfPrinterName;
    reg::SetString(key, "PrintQueueV4DriverDirectory", queue);
    reg::SetString(key + "\\PrinterDriverData", "V4_Merged_ConfigFile_Name", stem + ".gpd");
    reg::SetString(key + "\\PrinterDriverData", "V4_PrintDeviceCapabilities", "pdc.xml");
    reg::SetDword(key + "\\PrinterDriverData", "V4_Driver_Version", 4);
    db().Prepare("INSERT OR REPLACE INTO features(name, state) VALUES(?, 'Enabled')")
        .Bind(1, kPdfFeatureName)
        .Run();
    tx.Commit();
    return queue;
}

void Seed(const InitOptions& options) {
    bool x64 = options.config.arch != "x86";
    for (const char* folder :
         {"Windows\\System32\\spool\\PRINTERS", "Windows\\System32\\spool\\V4Dirs",
          "Windows\\System32\\spool\\drivers", "Users\\User\\AppData\\Local\\Temp",
          "Users\\User\\Documents", "Program Files", "Windows\\Temp",
          "Windows\\System32\\config\\systemprofile\\AppData\\Local"}) {
        fs::create_directories(HostPathNative(std::string("C:\\") + folder));
    }
    // The system tools are marker files that the sandbox runs as its own emulators.
    WriteFile(HostPathNative("C:\\Windows\\System32\\dism.exe"), "quellin-sim:dism\n");
    WriteFile(HostPathNative("C:\\Windows\\System32\\rundll32.exe"), "quellin-sim:rundll32\n");
    if (x64) {
        WriteFile(HostPathNative("C:\\Windows\\SysWOW64\\dism.exe"), "quellin-sim:dism32\n");
        WriteFile(HostPathNative("C:\\Windows\\SysWOW64\\rundll32.exe"), "quellin-sim:rundll32\n");
        fs::create_directories(HostPathNative("C:\\Program Files (x86)"));
    }

    Transaction tx(db());
    db().Exec("INSERT OR REPLACE INTO services(name, state) VALUES('Spooler', 4)");
    db().Exec(
        "INSERT OR REPLACE INTO features(name, state) "
        "VALUES('Printing-PrintToPDFServices-Features', 'Disabled')");
    db().Exec(
        "INSERT OR REPLACE INTO features(name, state) VALUES('Printing-XPSServices-Features', "
        "'Enabled')");
    AddPort("PORTPROMPT:", "Local Port");
    AddPort("LPT1:", "Local Port");
    AddPort("COM1:", "Local Port");
    AddPort("FILE:", "Local Port");
    AddPort("nul:", "Local Port");
    AddPort("SHRFAX:", "Microsoft Shared Fax Monitor");
    AddPort("XPSPort:", "Local Port");
    AddDriver("Microsoft XPS Document Writer v4", 4);
    AddDriver("Microsoft Shared Fax Driver", 3);
    AddDriver("Microsoft Software Printer Driver", 4);
    AddPrinterRow("OneNote (Desktop)", "nul:", "Microsoft Software Printer Driver", 0x240);
    AddPrinterRow("Microsoft XPS Document Writer",
                  "PORTPROMPT:", "Microsoft XPS Document Writer v4", 0x240);
    AddPrinterRow("Fax", "SHRFAX:", "Microsoft Shared Fax Driver", 0x240);

    reg::CreateKey("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Spooler");
    reg::SetString("HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "ProductName",
                   "Windows 10 Pro");
    reg::SetString("HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentBuild",
                   "19045");
    if (x64) {
        reg::SetString("HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion",
                       "ProductName", "Windows 10 Pro");
    }
    std::vector<std::uint8_t> devmode(220, 0);
    const char* device = "Microsoft Print to PDF";
    std::copy(device, device + 22, devmode.begin());
    devmode[68] = 0x1;
    reg::SetValue("HKCU\\Printers\\DevModePerUser", "Microsoft Print to PDF", win::REG_BINARY,
                  devmode);
    reg::SetValue("HKCU\\Printers\\DevModes2", "Microsoft Print to PDF", win::REG_BINARY, devmode);
    reg::SetValue("HKCU\\Printers\\DevModes2", "Microsoft XPS Document Writer", win::REG_BINARY,
                  devmode);
    reg::SetString("HKCU\\Printers\\Settings", "Microsoft Print to PDF", "");
    reg::SetDword("HKCU\\Printers\\Settings\\Wizard", "ConnectMRU", 0);
    reg::SetString("HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "Device",
                   "Microsoft Print to PDF,winspool,Ne01:");
    tx.Commit();
    if (options.pdfPrinter) {
        InstallPdfPrinter();
    }
}

}  // namespace quellin::platform::sim
