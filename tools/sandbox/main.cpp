// quellin-sandbox: creates, inspects and changes the simulated Windows that Quellin runs on.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "common/json.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/seed.h"
#include "platform/spooler.h"

namespace {

using tools::JsonString;

constexpr const char* kUsage = R"(usage: quellin-sandbox [--sandbox DIR] COMMAND ...
  init [--arch x64-wow64|x86] [--user admin|filtered-admin|standard] [--date YYYY-MM-DD]
       [--service-timing fast|realistic] [--legacy-kernel] [--no-pdf-printer]
  config [same options; --date real goes back to the real date]   (no options: print it)
  reg get KEY [VALUE]             reg set KEY VALUE TYPE DATA
  reg delete KEY [VALUE]          reg export KEY
  path WINDOWS-PATH               the host file of a sandbox path
  printers                        printer add NAME [--port P] [--driver D] [--shared]
  printer delete NAME             log
The sandbox is DIR, else $QUELLIN_SANDBOX, else ~/.local/share/quellin/sandbox.
)";

struct Usage {
    std::string message;
};

class Args {
  public:
    Args(int argc, char** argv) : items_(argv + 1, argv + argc) {}
    bool Empty() const { return pos_ >= items_.size(); }
    std::string Next(const char* what) {
        if (Empty())
            throw Usage{std::string("missing ") + what};
        return items_[pos_++];
    }
    std::string Peek() const { return Empty() ? std::string() : items_[pos_]; }
    std::vector<std::string> Rest() {
        std::vector<std::string> rest(items_.begin() + static_cast<long>(pos_), items_.end());
        pos_ = items_.size();
        return rest;
    }

  private:
    std::vector<std::string> items_;
    std::size_t pos_ = 0;
};

bool ApplyOption(const std::string& option, Args& args, sim::Config& config, bool* pdf) {
    if (option == "--arch") {
        config.arch = args.Next("architecture");
        if (config.arch != "x64-wow64" && config.arch != "x86")
            throw Usage{"bad --arch"};
    } else if (option == "--user") {
        config.user = args.Next("user");
        if (config.user != "admin" && config.user != "filtered-admin" && config.user != "standard")
            throw Usage{"bad --user"};
    } else if (option == "--date") {
        std::string date = args.Next("date");
        int y, m, d;
        if (date == "real") {
            config.date.clear();
        } else if (std::sscanf(date.c_str(), "%4d-%2d-%2d", &y, &m, &d) == 3 && m >= 1 && m <= 12 &&
                   d >= 1 && d <= 31 && date.size() == 10) {
            config.date = date;
        } else {
            throw Usage{"bad --date (YYYY-MM-DD or real)"};
        }
    } else if (option == "--service-timing") {
        config.serviceTiming = args.Next("timing");
        if (config.serviceTiming != "fast" && config.serviceTiming != "realistic")
            throw Usage{"bad --service-timing"};
    } else if (option == "--legacy-kernel") {
        config.legacyKernel = true;
    } else if (option == "--modern-kernel") {
        config.legacyKernel = false;
    } else if (option == "--no-pdf-printer" && pdf) {
        *pdf = false;
    } else {
        return false;
    }
    return true;
}

void PrintConfig() {
    sim::Config c = sim::ReadConfig();
    std::cout << "{\"sandbox\":" << JsonString(sim::SandboxRoot().string())
              << ",\"arch\":" << JsonString(c.arch) << ",\"user\":" << JsonString(c.user)
              << ",\"date\":" << JsonString(c.date.empty() ? "real" : c.date)
              << ",\"serviceTiming\":" << JsonString(c.serviceTiming)
              << ",\"legacyKernel\":" << (c.legacyKernel ? "true" : "false") << "}\n";
}

std::string ValueJson(const sim::reg::Value& v) {
    return "{\"name\":" + JsonString(v.name) +
           ",\"type\":" + JsonString(sim::reg::TypeName(v.type)) +
           ",\"data\":" + JsonString(sim::reg::FormatData(v)) + "}";
}

std::string KeyJson(std::int64_t id, const std::string& path) {
    std::string out = "{\"key\":" + JsonString(path) + ",\"values\":[";
    bool first = true;
    for (const auto& v : sim::reg::Values(id)) {
        out += (first ? "" : ",") + ValueJson(v);
        first = false;
    }
    out += "],\"subkeys\":[";
    first = true;
    for (const auto& name : sim::reg::SubKeys(id)) {
        if (auto child = sim::reg::FindChild(id, name)) {
            out += (first ? "" : ",") + KeyJson(*child, path + "\\" + name);
            first = false;
        }
    }
    return out + "]}";
}

int Reg(Args& args) {
    std::string verb = args.Next("reg command");
    std::string key = args.Next("key");
    if (verb == "get") {
        auto id = sim::reg::FindKey(key);
        if (!id) {
            std::cerr << "quellin-sandbox: no such key: " << key << "\n";
            return 1;
        }
        if (args.Empty()) {
            std::cout << "{\"key\":" << JsonString(key) << ",\"values\":[";
            bool first = true;
            for (const auto& v : sim::reg::Values(*id)) {
                std::cout << (first ? "" : ",") << ValueJson(v);
                first = false;
            }
            std::cout << "],\"subkeys\":[";
            first = true;
            for (const auto& name : sim::reg::SubKeys(*id)) {
                std::cout << (first ? "" : ",") << JsonString(name);
                first = false;
            }
            std::cout << "]}\n";
            return 0;
        }
        std::string name = args.Next("value");
        auto value = sim::reg::GetValueById(*id, name);
        if (!value) {
            std::cerr << "quellin-sandbox: no such value: " << name << "\n";
            return 1;
        }
        std::cout << sim::reg::FormatData(*value) << "\n";
        return 0;
    }
    if (verb == "set") {
        std::string name = args.Next("value name");
        std::string type = args.Next("type");
        std::string data = args.Next("data");
        sim::reg::Value v = sim::reg::ParseData(name, type, data);
        sim::reg::SetValue(key, v.name, v.type, v.data);
        return 0;
    }
    if (verb == "delete") {
        bool done = args.Empty() ? sim::reg::DeleteKey(key)
                                 : sim::reg::DeleteValue(key, args.Next("value"));
        if (!done) {
            std::cerr << "quellin-sandbox: nothing to delete\n";
            return 1;
        }
        return 0;
    }
    if (verb == "export") {
        auto id = sim::reg::FindKey(key);
        if (!id) {
            std::cerr << "quellin-sandbox: no such key: " << key << "\n";
            return 1;
        }
        std::cout << KeyJson(*id, key) << "\n";
        return 0;
    }
    throw Usage{"unknown reg command: " + verb};
}

int Printers() {
    std::lock_guard lock(sim::db().mutex());
    sim::Statement st =
        sim::db().Prepare("SELECT name, port, driver, attributes, share FROM printers ORDER BY id");
    std::cout << "[";
    bool first = true;
    while (st.Step()) {
        std::int64_t attributes = st.Int(3);
        std::cout << (first ? "" : ",") << "{\"name\":" << JsonString(st.Text(0))
                  << ",\"port\":" << JsonString(st.Text(1))
                  << ",\"driver\":" << JsonString(st.Text(2)) << ",\"attributes\":" << attributes
                  << ",\"shared\":"
                  << ((attributes & win::PRINTER_ATTRIBUTE_SHARED) ? "true" : "false")
                  << ",\"connection\":"
                  << ((attributes & win::PRINTER_ATTRIBUTE_NETWORK) ? "true" : "false") << "}";
        first = false;
    }
    std::cout << "]\n";
    return 0;
}

int Printer(Args& args) {
    std::string verb = args.Next("printer command");
    std::string name = args.Next("printer name");
    std::string key = std::string(sim::kPrintersKey) + "\\" + name;
    if (verb == "add") {
        std::string port = "PORTPROMPT:";
        std::string driver = "Microsoft Software Printer Driver";
        long attributes = win::PRINTER_ATTRIBUTE_LOCAL | 0x200;
        while (!args.Empty()) {
            std::string option = args.Next("option");
            if (option == "--port")
                port = args.Next("port");
            else if (option == "--driver")
                driver = args.Next("driver");
            else if (option == "--shared")
                attributes |= win::PRINTER_ATTRIBUTE_SHARED;
            else if (option == "--connection") {
                attributes =
                    (attributes & ~win::PRINTER_ATTRIBUTE_LOCAL) | win::PRINTER_ATTRIBUTE_NETWORK;
            } else
                throw Usage{"unknown option: " + option};
        }
        sim::Transaction tx(sim::db());
        if (sim::db().QueryInt("SELECT 1 FROM printers WHERE name = ?", name)) {
            std::cerr << "quellin-sandbox: printer exists: " << name << "\n";
            return 1;
        }
        sim::db()
            .Prepare("INSERT OR IGNORE INTO ports(name, monitor) VALUES(?, 'Local Port')")
            .Bind(1, port)
            .Run();
        sim::db()
            .Prepare(
                "INSERT INTO printers(name, port, driver, attributes, share) VALUES(?,?,?,?,?)")
            .Bind(1, name)
            .Bind(2, port)
            .Bind(3, driver)
            .Bind(4, attributes)
            .Bind(5, (attributes & win::PRINTER_ATTRIBUTE_SHARED) ? name : std::string())
            .Run();
        sim::reg::SetString(key, "Name", name);
        sim::reg::SetString(key, "Port", port);
        sim::reg::SetString(key, "Printer Driver", driver);
        sim::reg::SetDword(key, "Attributes", static_cast<std::uint32_t>(attributes));
        tx.Commit();
        return 0;
    }
    if (verb == "delete") {
        sim::Transaction tx(sim::db());
        sim::db().Prepare("DELETE FROM printers WHERE name = ?").Bind(1, name).Run();
        if (sim::db().Changes() == 0) {
            std::cerr << "quellin-sandbox: no such printer: " << name << "\n";
            return 1;
        }
        sim::reg::DeleteKey(key);
        tx.Commit();
        return 0;
    }
    throw Usage{"unknown printer command: " + verb};
}

int Log() {
    std::lock_guard lock(sim::db().mutex());
    sim::Statement st = sim::db().Prepare(
        "SELECT time, verb, file, parameters, directory, show FROM launch_log ORDER BY id");
    while (st.Step()) {
        std::cout << "{\"time\":" << JsonString(st.Text(0))
                  << ",\"verb\":" << JsonString(st.Text(1))
                  << ",\"file\":" << JsonString(st.Text(2))
                  << ",\"params\":" << JsonString(st.Text(3))
                  << ",\"dir\":" << JsonString(st.Text(4)) << ",\"show\":" << st.Int(5) << "}\n";
    }
    return 0;
}

int Run(int argc, char** argv) {
    Args args(argc, argv);
    std::filesystem::path root = sim::DefaultSandboxRoot();
    if (args.Peek() == "--sandbox") {
        args.Next("--sandbox");
        root = args.Next("sandbox folder");
    }
    std::string command = args.Next("command");
    if (command == "help" || command == "--help" || command == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "init") {
        sim::InitOptions options;
        while (!args.Empty()) {
            std::string option = args.Next("option");
            if (!ApplyOption(option, args, options.config, &options.pdfPrinter))
                throw Usage{"unknown option: " + option};
        }
        sim::InitSandbox(root, options);
        PrintConfig();
        return 0;
    }
    sim::OpenSandbox(root);
    if (command == "config") {
        sim::Config config = sim::ReadConfig();
        bool changed = false;
        while (!args.Empty()) {
            std::string option = args.Next("option");
            if (!ApplyOption(option, args, config, nullptr))
                throw Usage{"unknown option: " + option};
            changed = true;
        }
        if (changed)
            sim::WriteConfig(config);
        PrintConfig();
        return 0;
    }
    if (command == "reg")
        return Reg(args);
    if (command == "path") {
        std::cout << sim::HostPathNative(args.Next("Windows path")).string() << "\n";
        return 0;
    }
    if (command == "printers")
        return Printers();
    if (command == "printer")
        return Printer(args);
    if (command == "log")
        return Log();
    throw Usage{"unknown command: " + command};
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const Usage& usage) {
        std::cerr << "quellin-sandbox: " << usage.message << "\n" << kUsage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "quellin-sandbox: " << error.what() << "\n";
        return 1;
    }
}
