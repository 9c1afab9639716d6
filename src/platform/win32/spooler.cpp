// The spooler's enumerations fill a caller-sized buffer of records and their strings; the
// layer hands the records over as values, so each call sizes the system's buffer with the
// caller's byte count and copies what came back.
#include "platform/spooler.h"

#include "platform/win32/windows_api.h"

namespace quellin::platform {

namespace {

// Pointer-aligned storage of `bytes` bytes, as the spooler's records need.
class RecordBuffer {
  public:
    explicit RecordBuffer(DWORD bytes) : storage_(bytes / sizeof(void*) + 1), bytes_(bytes) {}
    ::LPBYTE data() { return bytes_ ? reinterpret_cast<::LPBYTE>(storage_.data()) : nullptr; }
    template <typename T>
    const T* as() const {
        return reinterpret_cast<const T*>(storage_.data());
    }

  private:
    std::vector<void*> storage_;
    DWORD bytes_;
};

PRINTER_INFO_A PrinterRecord(const RecordBuffer& buffer, DWORD level, DWORD i) {
    PRINTER_INFO_A p;
    switch (level) {
        case 1: {
            const auto& r = buffer.as<::PRINTER_INFO_1A>()[i];
            p.Attributes = r.Flags;
            p.pPrinterName = native::Text(r.pName);
            p.pComment = native::Text(r.pComment);
            break;
        }
        case 2: {
            const auto& r = buffer.as<::PRINTER_INFO_2A>()[i];
            p.pServerName = native::Text(r.pServerName);
            p.pPrinterName = native::Text(r.pPrinterName);
            p.pShareName = native::Text(r.pShareName);
            p.pPortName = native::Text(r.pPortName);
            p.pDriverName = native::Text(r.pDriverName);
            p.pComment = native::Text(r.pComment);
            p.pLocation = native::Text(r.pLocation);
            p.Attributes = r.Attributes;
            p.Status = r.Status;
            p.cJobs = r.cJobs;
            break;
        }
        case 4: {
            const auto& r = buffer.as<::PRINTER_INFO_4A>()[i];
            p.pPrinterName = native::Text(r.pPrinterName);
            p.pServerName = native::Text(r.pServerName);
            p.Attributes = r.Attributes;
            break;
        }
        case 5: {
            const auto& r = buffer.as<::PRINTER_INFO_5A>()[i];
            p.pPrinterName = native::Text(r.pPrinterName);
            p.pPortName = native::Text(r.pPortName);
            p.Attributes = r.Attributes;
            break;
        }
    }
    return p;
}

JOB_INFO_2A JobRecord(const ::JOB_INFO_2A& r) {
    JOB_INFO_2A j;
    j.JobId = r.JobId;
    j.pPrinterName = native::Text(r.pPrinterName);
    j.pMachineName = native::Text(r.pMachineName);
    j.pUserName = native::Text(r.pUserName);
    j.pDocument = native::Text(r.pDocument);
    j.pNotifyName = native::Text(r.pNotifyName);
    j.pDatatype = native::Text(r.pDatatype);
    j.pPrintProcessor = native::Text(r.pPrintProcessor);
    j.pDriverName = native::Text(r.pDriverName);
    j.pStatus = native::Text(r.pStatus);
    j.Status = r.Status;
    j.Priority = r.Priority;
    j.Position = r.Position;
    j.StartTime = r.StartTime;
    j.UntilTime = r.UntilTime;
    j.TotalPages = r.TotalPages;
    j.Size = r.Size;
    j.Submitted = native::Layer(r.Submitted);
    j.Time = r.Time;
    j.PagesPrinted = r.PagesPrinted;
    return j;
}

void Report(::DWORD needed, ::DWORD returned, DWORD* neededOut, DWORD* returnedOut) {
    if (neededOut)
        *neededOut = needed;
    if (returnedOut)
        *returnedOut = returned;
}

}  // namespace

BOOL EnumPrintersA(DWORD flags, const std::string& name, DWORD level,
                   std::vector<PRINTER_INFO_A>* records, DWORD bufferSize, DWORD* needed,
                   DWORD* returned) {
    RecordBuffer buffer(bufferSize);
    ::DWORD size = 0, count = 0;
    BOOL ok = ::EnumPrintersA(flags, native::OrNullMutable(name), level, buffer.data(), bufferSize,
                              &size, &count) != FALSE;
    native::KeepLastError keep;
    Report(size, ok ? count : 0, needed, returned);
    if (records) {
        records->clear();
        for (::DWORD i = 0; ok && i < count; ++i)
            records->push_back(PrinterRecord(buffer, level, i));
    }
    return ok;
}

BOOL OpenPrinterA(const std::string& name, HANDLE* printer, const PRINTER_DEFAULTSA* defaults) {
    ::PRINTER_DEFAULTSA real{};
    if (defaults) {
        real.pDatatype = native::OrNullMutable(defaults->pDatatype);
        real.DesiredAccess = defaults->DesiredAccess;
    }
    ::HANDLE opened = nullptr;
    BOOL ok =
        ::OpenPrinterA(native::OrNullMutable(name), &opened, defaults ? &real : nullptr) != FALSE;
    if (printer)
        *printer = ok ? native::Layer(opened) : nullptr;
    return ok;
}

BOOL ClosePrinter(HANDLE printer) {
    return ::ClosePrinter(native::Native(printer)) != FALSE;
}

BOOL DeletePrinter(HANDLE printer) {
    return ::DeletePrinter(native::Native(printer)) != FALSE;
}

BOOL DeletePrinterDriverExA(const std::string& server, const std::string& environment,
                            const std::string& driverName, DWORD deleteFlags, DWORD versionFlag) {
    return ::DeletePrinterDriverExA(
               native::OrNullMutable(server), native::OrNullMutable(environment),
               const_cast<char*>(driverName.c_str()), deleteFlags, versionFlag) != FALSE;
}

BOOL EnumPortsA(const std::string& server, DWORD level, std::vector<PORT_INFO_1A>* records,
                DWORD bufferSize, DWORD* needed, DWORD* returned) {
    RecordBuffer buffer(bufferSize);
    ::DWORD size = 0, count = 0;
    BOOL ok = ::EnumPortsA(native::OrNullMutable(server), level, buffer.data(), bufferSize, &size,
                           &count) != FALSE;
    native::KeepLastError keep;
    Report(size, ok ? count : 0, needed, returned);
    if (records) {
        records->clear();
        // Levels 1 and 2 both start with the port's name.
        for (::DWORD i = 0; ok && i < count; ++i) {
            const char* portName = level == 2 ? buffer.as<::PORT_INFO_2A>()[i].pPortName
                                              : buffer.as<::PORT_INFO_1A>()[i].pName;
            records->push_back({native::Text(portName)});
        }
    }
    return ok;
}

BOOL AddPortExA(const std::string& server, DWORD level, const PORT_INFO_1A& port,
                const std::string& monitorName) {
    ::PORT_INFO_1A real{};
    real.pName = const_cast<char*>(port.pName.c_str());
    return ::AddPortExA(native::OrNullMutable(server), level, reinterpret_cast<::LPBYTE>(&real),
                        const_cast<char*>(monitorName.c_str())) != FALSE;
}

BOOL EnumJobsA(HANDLE printer, DWORD firstJob, DWORD count, DWORD level,
               std::vector<JOB_INFO_2A>* records, DWORD bufferSize, DWORD* needed,
               DWORD* returned) {
    RecordBuffer buffer(bufferSize);
    ::DWORD size = 0, found = 0;
    BOOL ok = ::EnumJobsA(native::Native(printer), firstJob, count, level, buffer.data(),
                          bufferSize, &size, &found) != FALSE;
    native::KeepLastError keep;
    Report(size, ok ? found : 0, needed, returned);
    if (records) {
        records->clear();
        for (::DWORD i = 0; ok && level == 2 && i < found; ++i)
            records->push_back(JobRecord(buffer.as<::JOB_INFO_2A>()[i]));
    }
    return ok;
}

BOOL SetJobA(HANDLE printer, DWORD jobId, DWORD level, DWORD command) {
    return ::SetJobA(native::Native(printer), jobId, level, nullptr, command) != FALSE;
}

BOOL GetDefaultPrinterA(std::string* buffer, DWORD* size) {
    ::DWORD length = size ? *size : 0;
    std::vector<char> text(length + 1, '\0');
    const bool ok = ::GetDefaultPrinterA(length ? text.data() : nullptr, &length) != FALSE;
    native::KeepLastError keep;
    if (size)
        *size = length;
    if (ok && buffer)
        buffer->assign(text.data());
    return ok;
}

}  // namespace quellin::platform
