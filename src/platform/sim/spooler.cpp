#include "platform/spooler.h"
#include "platform/sim/sandbox.h"

namespace win {

namespace {

bool SpoolerRunning() {
    auto state = sim::db().QueryInt("SELECT state FROM services WHERE name = 'spooler'");
    if (state && *state == 4)
        return true;
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return false;
}

DWORD RecordSize(const PRINTER_INFO_A& p, DWORD level) {
    auto s = [](const std::string& t) { return static_cast<DWORD>(t.size() + 1); };
    switch (level) {
        case 1:
            return 16 + s(p.pPrinterName) * 2 + s(p.pComment);
        case 2:
            return 84 + s(p.pPrinterName) + s(p.pPortName) + s(p.pDriverName) + s(p.pShareName);
        case 4:
            return 12 + s(p.pPrinterName) + s(p.pServerName);
        default:
            return 20 + s(p.pPrinterName) + s(p.pPortName);
    }
}

}  // namespace

BOOL EnumPrintersA(DWORD flags, const std::string& name, DWORD level,
                   std::vector<PRINTER_INFO_A>* records, DWORD bufferSize, DWORD* needed,
                   DWORD* returned) {
    if (needed)
        *needed = 0;
    if (returned)
        *returned = 0;
    if (level != 1 && level != 2 && level != 4 && level != 5) {
        SetLastError(ERROR_INVALID_LEVEL);
        return false;
    }
    if (!name.empty() && name != "\\\\" + std::string(sim::kComputerName)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    if (!SpoolerRunning())
        return false;
    std::vector<PRINTER_INFO_A> found;
    {
        std::lock_guard lock(sim::db().mutex());
        sim::Statement st = sim::db().Prepare(
            "SELECT name, port, driver, attributes, share, comment, location FROM printers "
            "ORDER BY id");
        while (st.Step()) {
            PRINTER_INFO_A p;
            p.pPrinterName = st.Text(0);
            p.pPortName = st.Text(1);
            p.pDriverName = st.Text(2);
            p.Attributes = static_cast<DWORD>(st.Int(3));
            p.pShareName = st.Text(4);
            p.pComment = st.Text(5);
            p.pLocation = st.Text(6);
            bool connection = (p.Attributes & PRINTER_ATTRIBUTE_NETWORK) != 0;
            bool shared = (p.Attributes & PRINTER_ATTRIBUTE_SHARED) != 0;
            bool wanted = ((flags & PRINTER_ENUM_LOCAL) && !connection) ||
                          ((flags & PRINTER_ENUM_CONNECTIONS) && connection) ||
                          ((flags & PRINTER_ENUM_SHARED) && shared);
            if (wanted)
                found.push_back(std::move(p));
        }
    }
    DWORD size = 0;
    for (const auto& p : found)
        size += RecordSize(p, level);
    if (needed)
        *needed = size;
    if (bufferSize < size || !records) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    if (returned)
        *returned = static_cast<DWORD>(found.size());
    *records = std::move(found);
    SetLastError(ERROR_SUCCESS);
    return true;
}

}  // namespace win
