#pragma once
// The exception family: every error the library raises carries a message text.
#include <cstdint>
#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string Msg) : FMessage(std::move(Msg)) {}
  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string Msg) { FMessage = std::move(Msg); }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

#define QV_EXCEPTION_CLASS(Name, Parent)                      \
  class Name : public Parent {                                \
   public:                                                    \
    explicit Name(std::string Msg) : Parent(std::move(Msg)) {} \
  };

QV_EXCEPTION_CLASS(EAbort, Exception)
QV_EXCEPTION_CLASS(EOutOfMemory, Exception)
QV_EXCEPTION_CLASS(EConvertError, Exception)
QV_EXCEPTION_CLASS(EListError, Exception)
QV_EXCEPTION_CLASS(EStringListError, EListError)
QV_EXCEPTION_CLASS(EStreamError, Exception)
QV_EXCEPTION_CLASS(EFileStreamError, EStreamError)
QV_EXCEPTION_CLASS(EFCreateError, EFileStreamError)
QV_EXCEPTION_CLASS(EFOpenError, EFileStreamError)
QV_EXCEPTION_CLASS(EFilerError, EStreamError)
QV_EXCEPTION_CLASS(EReadError, EFilerError)
QV_EXCEPTION_CLASS(EWriteError, EFilerError)
QV_EXCEPTION_CLASS(EInvalidOperation, Exception)
QV_EXCEPTION_CLASS(EInvalidPropertyIndex, Exception)
QV_EXCEPTION_CLASS(EInvalidGraphic, Exception)
QV_EXCEPTION_CLASS(EInvalidGraphicOperation, Exception)
QV_EXCEPTION_CLASS(EZLibError, Exception)
QV_EXCEPTION_CLASS(EZCompressionError, EZLibError)
QV_EXCEPTION_CLASS(EZDecompressionError, EZLibError)
QV_EXCEPTION_CLASS(EThread, Exception)
QV_EXCEPTION_CLASS(EIniFileException, Exception)

// File and I/O failures keep the system error number beside the text.
class EInOutError : public Exception {
 public:
  explicit EInOutError(std::string Msg, int32_t Code = 0) : Exception(std::move(Msg)), ErrorCode(Code) {}
  int32_t ErrorCode;
};

class EOSError : public Exception {
 public:
  explicit EOSError(std::string Msg, int32_t Code = 0) : Exception(std::move(Msg)), ErrorCode(Code) {}
  int32_t ErrorCode;
};

// Raises EAbort with its customary silent text.
[[noreturn]] inline void Abort() { throw EAbort("Operation aborted"); }

// The text of a system error number (errno), as the file classes quote it.
std::string SysErrorMessage(int32_t ErrorCode);
