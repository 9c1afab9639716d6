#include "cli/envelope.h"

#include <cstdio>
#include <span>

#include "archive/zip_errors.h"
#include "cli/command.h"
#include "cli/health.h"
#include "platform/dates.h"
#include "platform/plain_file.h"
#include "platform/processes.h"
#include "platform/security.h"
#include "platform/text.h"
#include "system/identity.h"

namespace quellin::cli {

namespace {

std::string g_runId;

std::string FreshRunId() {
    win::GUID guid;
    if (win::CoCreateGuid(&guid) != 0) {
        // Never seen; the time and the process still tell runs apart.
        win::FILETIME now;
        win::GetSystemTimeAsFileTime(&now);
        guid.Data1 = win::GetCurrentProcessId();
        for (int i = 0; i < 8; ++i)
            guid.Data4[i] = static_cast<win::BYTE>(now.ticks >> (56 - 8 * i));
    }
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

CommandFailure OutputFailure(const std::string& path, const std::string& reason) {
    return CommandFailure(kExitFileError, "cannot write the document to " + path + ": " + reason);
}

// Windows' own text follows the message with the error's code.
CommandFailure OutputFailure(const std::string& path, win::DWORD error) {
    return CommandFailure(kExitFileError, "cannot write the document to " + path, error);
}

}  // namespace

std::string CurrentRunId() {
    return g_runId;
}

long long RunRecord::ElapsedMs() const {
    return static_cast<long long>(win::GetTickCount() - startTick);
}

RunScope::RunScope() {
    record_.startTick = win::GetTickCount();
    record_.runId = FreshRunId();
    if (!win::GetComputerNameA(&record_.host))
        record_.host.clear();
    win::FILETIME now;
    win::GetSystemTimeAsFileTime(&now);
    win::SYSTEMTIME utc;
    win::FileTimeToSystemTime(now, &utc);
    record_.startedAt = IsoTime(utc);
    g_runId = record_.runId;
}

RunScope::~RunScope() {
    g_runId.clear();
}

OutputFile::OutputFile(const std::string& path) : path_(path) {
    const quellin::system::UserRightsSpan asUser;
    // Only a plain file is replaced; the rename would replace a link itself, never its target,
    // but a link there was put by someone for a reason.
    if (!win::OpenPlainFile(path, 0, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE,
                            win::OPEN_EXISTING)) {
        const win::DWORD error = win::GetLastError();
        if (error == win::ERROR_ACCESS_DENIED &&
            win::GetFileAttributesA(path) != win::INVALID_FILE_ATTRIBUTES)
            throw OutputFailure(path, "it is not a plain file (a link, a folder or a device)");
        if (error != win::ERROR_FILE_NOT_FOUND)
            throw OutputFailure(path, error);
    }
    try {
        temporary_.emplace(archive::TBufferedFileStream::CreateTemporary(
            win::JoinPath(win::FolderOf(path), ""), "qco"));
    } catch (const archive::EZipperError& error) {
        throw OutputFailure(path, error.what());
    }
}

OutputFile::~OutputFile() {
    if (temporary_) {
        const quellin::system::UserRightsSpan asUser;
        temporary_->Discard();
    }
}

void OutputFile::Commit(const std::string& document) {
    const quellin::system::UserRightsSpan asUser;
    std::optional<CommandFailure> failure;
    try {
        temporary_->Write(
            std::span(reinterpret_cast<const std::uint8_t*>(document.data()), document.size()));
        temporary_->Flush();
        if (!temporary_->RenameTo(path_)) {
            const win::DWORD error = win::GetLastError();
            failure = OutputFailure(path_, error);
        }
    } catch (const archive::EZipperError& error) {
        failure = OutputFailure(path_, error.what());
    }
    if (failure) {
        temporary_->Discard();
        temporary_.reset();
        throw *failure;
    }
    temporary_.reset();
}

}  // namespace quellin::cli
