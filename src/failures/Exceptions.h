// The failure kinds of the client and the texts they carry.
//
// Every failure is an exception derived from Exception that carries one 8-bit message text.
// The report exchange shows nothing but that text, so the texts are exact: wording,
// capitals and final full stops (present on some, absent on others) matter.
#pragma once

#include <cstdint>
#include <exception>
#include <span>
#include <string>

namespace vxt {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  // The class name as the start-up failure box shows it ("EIdSocketError", ...).
  virtual const char* ClassName() const { return "Exception"; }

 private:
  std::string message_;
};

#define VXT_DECLARE_FAILURE(Name, Base)                      \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  }

VXT_DECLARE_FAILURE(EIdException, Exception);
VXT_DECLARE_FAILURE(EIdSilentException, EIdException);
VXT_DECLARE_FAILURE(EIdConnClosedGracefully, EIdSilentException);
VXT_DECLARE_FAILURE(EIdConnectTimeout, EIdException);
VXT_DECLARE_FAILURE(EIdConnectException, EIdException);
VXT_DECLARE_FAILURE(EIdReadTimeout, EIdException);
VXT_DECLARE_FAILURE(EIdClosedSocket, EIdException);
VXT_DECLARE_FAILURE(EIdAlreadyConnected, EIdException);
VXT_DECLARE_FAILURE(EIdHostRequired, EIdException);
VXT_DECLARE_FAILURE(EIdPortRequired, EIdException);
VXT_DECLARE_FAILURE(EIdSocketHandleError, EIdException);
VXT_DECLARE_FAILURE(EIdCouldNotBindSocket, EIdSocketHandleError);
VXT_DECLARE_FAILURE(EIdTooMuchDataInBuffer, EIdException);
VXT_DECLARE_FAILURE(EIdStackError, EIdException);
VXT_DECLARE_FAILURE(EIdStackInitializationFailed, EIdStackError);
VXT_DECLARE_FAILURE(EStreamError, Exception);
VXT_DECLARE_FAILURE(EFileStreamError, EStreamError);
VXT_DECLARE_FAILURE(EFCreateError, EFileStreamError);
VXT_DECLARE_FAILURE(EFOpenError, EFileStreamError);
VXT_DECLARE_FAILURE(EWriteError, EStreamError);
VXT_DECLARE_FAILURE(EExternal, Exception);
VXT_DECLARE_FAILURE(EIntError, EExternal);
VXT_DECLARE_FAILURE(ERangeError, EIntError);

#undef VXT_DECLARE_FAILURE

// A failure kind that carries a number besides its message.
template <typename Base>
class TNumberedFailure : public Base {
 public:
  TNumberedFailure(int32_t number, std::string message)
      : Base(std::move(message)), number_(number) {}

 protected:
  int32_t Number() const { return number_; }

 private:
  int32_t number_;
};

// A failed socket call; carries the Winsock 2 error number.
class EIdSocketError : public TNumberedFailure<EIdException> {
 public:
  using TNumberedFailure::TNumberedFailure;
  int32_t LastError() const { return Number(); }
  const char* ClassName() const override { return "EIdSocketError"; }
};

// A socket call on a handle that is no socket (Winsock 10038).
class EIdNotASocket : public EIdSocketError {
 public:
  using EIdSocketError::EIdSocketError;
  const char* ClassName() const override { return "EIdNotASocket"; }
};

// A failed read of a text file; carries the I/O error code.
class EInOutError : public TNumberedFailure<Exception> {
 public:
  using TNumberedFailure::TNumberedFailure;
  int32_t ErrorCode() const { return Number(); }
  const char* ClassName() const override { return "EInOutError"; }
};

// The socket library could not be loaded at program start.
class EIdWinsockStubError : public EIdException {
 public:
  EIdWinsockStubError(std::string title, uint32_t win32_error, std::string win32_error_text);
  const std::string& Title() const { return title_; }
  uint32_t Win32Error() const { return win32_error_; }
  const std::string& Win32ErrorText() const { return win32_error_text_; }
  const char* ClassName() const override { return "EIdWinsockStubError"; }

 private:
  std::string title_;
  uint32_t win32_error_;
  std::string win32_error_text_;
};

// Fixed texts that more than one place raises or tests.
inline constexpr const char kConnClosedGracefully[] = "Connection Closed Gracefully.";
inline constexpr const char kNotConnected[] = "Not Connected";
inline constexpr const char kDisconnected[] = "Disconnected.";
inline constexpr const char kReadTimeout[] = "Read Timeout";
inline constexpr const char kConnectTimedOut[] = "Connect timed out.";
inline constexpr const char kAlreadyConnected[] = "Already connected.";
inline constexpr const char kCouldNotBindSocket[] =
    "Could not bind socket. Address and port are already in use.";
inline constexpr const char kTooMuchDataInBuffer[] = "Too much data in buffer.";
inline constexpr const char kRangeCheckError[] = "Range check error";
inline constexpr const char kStreamWriteError[] = "Stream write error";
inline constexpr const char kOnlyOneAntiFreeze[] =
    "Only one TIdAntiFreeze can exist per application.";
inline constexpr const char kWinsockInitializationError[] = "Winsock Initialization Error.";
inline constexpr const char kWinsockLoadTitle[] = "Error on loading Winsock2 library (%s)";

// A row of a table of fixed texts: a number and its text.
struct TNumberedText {
  int64_t number;
  const char* text;
};

// The text of the number in the table; nullptr when no row has it.
const char* TextOfNumber(std::span<const TNumberedText> table, int64_t number);

// "Socket Error # %d\r\n%s" filled with the number and its text from the socket error table
// (empty when the table has none).
std::string SocketErrorMessage(int32_t error_code);

// Raises EIdNotASocket for 10038, EIdSocketError otherwise, with SocketErrorMessage.
[[noreturn]] void RaiseSocketFailure(int32_t error_code);

// The I/O error table: "File not found", ..., "I/O error %d" for codes outside it.
std::string IoErrorText(int32_t error_code);
[[noreturn]] void RaiseIoFailure(int32_t error_code);

// EFCreateError "Cannot create file "%s". %s" and EFOpenError "Cannot open file "%s". %s",
// filled with a path that is already full and a system text that is already trimmed.
[[noreturn]] void RaiseCannotCreateFile(const std::string& full_path,
                                        const std::string& system_text);
[[noreturn]] void RaiseCannotOpenFile(const std::string& full_path, const std::string& system_text);

}  // namespace vxt
