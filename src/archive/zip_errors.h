// Errors the archive component raises. Every class derives from EZipperError, so a caller can
// catch the component's failures in one place; EZipperError itself is a std::runtime_error,
// the application's general error class, whose what() the error box shows.
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
