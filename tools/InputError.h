// Errors in what the user hands the command: a layout, a data file, a picture
// path. Printing failures are the printer's own errors (EPrinterError).
#pragma once

#include "Component.h"

#include <string>

namespace mivora::tool {

// Bad input: the message says which file, where in it, and what is wrong.
class EInputError : public Exception {
public:
  using Exception::Exception;
};

} // namespace mivora::tool
