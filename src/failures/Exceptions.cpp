#include "failures/Exceptions.h"

#include <string>

namespace vxt {

namespace {

// Winsock 2 numbers and their texts. Numbers outside the table have the empty text.
constexpr TNumberedText kSocketErrors[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Buffer fault."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block."},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {11001, "Host not found."},
};

constexpr TNumberedText kIoErrors[] = {
    {2, "File not found"},          {3, "Invalid filename"},          {4, "Too many open files"},
    {5, "File access denied"},      {100, "Read beyond end of file"}, {101, "Disk full"},
    {106, "Invalid numeric input"},
};

std::string FileFailureMessage(const char* verb, const std::string& full_path,
                               const std::string& system_text) {
  return std::string("Cannot ") + verb + " file \"" + full_path + "\". " + system_text;
}

}  // namespace

EIdWinsockStubError::EIdWinsockStubError(std::string title, uint32_t win32_error,
                                         std::string win32_error_text)
    : EIdException(win32_error != 0 ? title + ": " + win32_error_text : title),
      title_(std::move(title)),
      win32_error_(win32_error),
      win32_error_text_(std::move(win32_error_text)) {}

const char* TextOfNumber(std::span<const TNumberedText> table, int64_t number) {
  for (const TNumberedText& row : table) {
    if (row.number == number) return row.text;
  }
  return nullptr;
}

std::string SocketErrorMessage(int32_t error_code) {
  // "Socket Error # %d\r\n%s": to_string writes the number as %d does.
  const char* text = TextOfNumber(kSocketErrors, error_code);
  return "Socket Error # " + std::to_string(error_code) + "\r\n" + (text != nullptr ? text : "");
}

void RaiseSocketFailure(int32_t error_code) {
  if (error_code == 10038) throw EIdNotASocket(error_code, SocketErrorMessage(error_code));
  throw EIdSocketError(error_code, SocketErrorMessage(error_code));
}

std::string IoErrorText(int32_t error_code) {
  const char* text = TextOfNumber(kIoErrors, error_code);
  return text != nullptr ? text : "I/O error " + std::to_string(error_code);
}

void RaiseIoFailure(int32_t error_code) {
  throw EInOutError(error_code, IoErrorText(error_code));
}

void RaiseCannotCreateFile(const std::string& full_path, const std::string& system_text) {
  throw EFCreateError(FileFailureMessage("create", full_path, system_text));
}

void RaiseCannotOpenFile(const std::string& full_path, const std::string& system_text) {
  throw EFOpenError(FileFailureMessage("open", full_path, system_text));
}

}  // namespace vxt
