// The kinds of output a printer can send its pages to.
#pragma once

#include <cstdint>

namespace mivora {

// Where the pages of a job go.
enum TPrinterTarget : uint8_t {
  ptPdf,        // one PDF file, one PDF page per page
  ptPng,        // one PNG image per page
  ptSvg,        // one SVG file per page
  ptPostScript, // one PostScript file
  ptRecord,     // nothing written: every device operation is kept (RecordedOps)
  ptCups,       // a CUPS queue named by the target's path; its paper is the page's
};

} // namespace mivora
