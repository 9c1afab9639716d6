// Errors the archive component raises. Every class derives from EZipperError, so a caller can
// catch the component's failures in one place. EZipperError is a std::runtime_error: an error a
// handler does not catch reaches the application's error box through std::exception's what()
// (system/handler.h). It is not a system::SystemError, which carries the Windows error code of
// a refused system call; the component's failures have no such code, and callers that catch
// SystemError to judge a refusal must not take an archive failure for one.
#pragma once

#include <stdexcept>
#include <string>

namespace quellin::archive {

class EZipperError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// No end of central directory record.
class EIncompleteZip : public EZipperError {
  public:
    EIncompleteZip() : EZipperError("Incomplete Zip File") {}
};

// The central directory is unreadable and the recovery scan found nothing usable.
class EBadZipFile : public EZipperError {
  public:
    EBadZipFile() : EZipperError("Not a valid zip file!") {}
};

class ENotAZipFile : public EZipperError {
  public:
    using EZipperError::EZipperError;
};

// An entry's data ends before its recorded size.
class EFatalUnzipError : public EZipperError {
  public:
    EFatalUnzipError() : EZipperError("Premature end of file reached") {}
};

class EUserCanceled : public EZipperError {
  public:
    using EZipperError::EZipperError;
};

class EZLibError : public EZipperError {
  public:
    using EZipperError::EZipperError;
};

// zlib reported an error while deflating or inflating.
class EZCompressionError : public EZLibError {
  public:
    EZCompressionError() : EZLibError("error") {}
};

// The archive or a temporary file could not be created or opened.
class EFileStreamError : public EZipperError {
  public:
    using EZipperError::EZipperError;
};

class EFCreateError : public EFileStreamError {
  public:
    EFCreateError(const std::string& path, const std::string& systemText)
        : EFileStreamError("Cannot create file \"" + path + "\". " + systemText) {}
};

class EFOpenError : public EFileStreamError {
  public:
    EFOpenError(const std::string& path, const std::string& systemText)
        : EFileStreamError("Cannot open file \"" + path + "\". " + systemText) {}
};

// Reading or writing an open archive or temporary file failed part way (disk full, I/O error).
class EFileIOError : public EFileStreamError {
  public:
    using EFileStreamError::EFileStreamError;
};

}  // namespace quellin::archive
