// Every error the platform layer raises, in one header that includes nothing
// of the library, so that any module can raise or catch them without depending
// on the module that usually reports them.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace mivora {

// Base of every error raised by the library; what() is the message.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  // The message as given.
  const std::string& Message() const noexcept { return message_; }

private:
  std::string message_;
};

// An error of the printer: a setting it refuses, a job it cannot begin or
// end, an output file it cannot write. The message names the value or path.
class EPrinterError : public Exception {
public:
  using Exception::Exception;
};

// A queue that does not exist, a server that does not answer, a job that is
// refused, stopped, cancelled or aborted. The message names the queue.
class ECupsError : public EPrinterError {
public:
  using EPrinterError::EPrinterError;
};

// A picture could not be loaded: missing, unreadable, truncated or foreign data,
// or dimensions out of range. The message names the file (or the name given for
// data in memory).
class EGraphicError : public Exception {
public:
  using Exception::Exception;
};

// A barcode could not be made or drawn: the message names the symbology and the
// value at fault, with the encoder's own reason.
class EBarcodeError : public EGraphicError {
public:
  using EGraphicError::EGraphicError;
};

// Rich text could not be read (malformed RTF or markup, an unreadable file) or a
// formatting request was unusable. The message says what and where.
class ERichEditError : public Exception {
public:
  using Exception::Exception;
};

// A failure of the palette: an unknown class, a class registered twice, a bad value.
class EPaletteError : public Exception {
public:
  using Exception::Exception;
};

// A form description that cannot be read or loaded; the message names the line.
class EFormError : public Exception {
public:
  using Exception::Exception;
};

} // namespace mivora
