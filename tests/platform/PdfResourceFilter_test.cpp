// The filter between Cairo and a PDF file: repeated entries of an /XObject
// dictionary become blanks of the same length, whatever pieces the bytes come in.
#include "PdfResourceFilter_p.h"

#include <gtest/gtest.h>

#include <string>

namespace mivora {
namespace {

struct TSink {
  std::string Bytes;
  bool Fail = false;
  static cairo_status_t Write(void* Closure, const unsigned char* Data, unsigned int Length) {
    auto* self = static_cast<TSink*>(Closure);
    if (self->Fail) return CAIRO_STATUS_WRITE_ERROR;
    self->Bytes.append(reinterpret_cast<const char*>(Data), Length);
    return CAIRO_STATUS_SUCCESS;
  }
};

// Input through a filter in pieces of Piece bytes; what reached the file.
std::string Filtered(const std::string& Input, size_t Piece) {
  TSink sink;
  TPdfResourceFilter filter(TSink::Write, &sink);
  for (size_t at = 0; at < Input.size(); at += Piece) {
    const std::string part = Input.substr(at, Piece);
    EXPECT_EQ(TPdfResourceFilter::Write(&filter, reinterpret_cast<const unsigned char*>(part.data()),
                                        static_cast<unsigned int>(part.size())),
              CAIRO_STATUS_SUCCESS);
  }
  EXPECT_EQ(filter.Flush(), CAIRO_STATUS_SUCCESS);
  return sink.Bytes;
}

TEST(PdfResourceFilter, BlanksRepeatedEntriesKeepingEveryOffset) {
  const std::string input = "8 0 obj\n<< /ExtGState << /a0 << /CA 1 /ca 1 >> >>\n"
                            "   /XObject << /x7 14 0 R /x9 15 0 R /x7 14 0 R /x7 14 0 R >>\n"
                            "   /Font << /f-0-0 12 0 R /f-0-0 12 0 R >>\n>>\nendobj\n"
                            "9 0 obj\n<< /XObject << /x7 14 0 R >> >>\nendobj\n";
  const std::string expected = "8 0 obj\n<< /ExtGState << /a0 << /CA 1 /ca 1 >> >>\n"
                               "   /XObject << /x7 14 0 R /x9 15 0 R            " "           >>\n"
                               "   /Font << /f-0-0 12 0 R /f-0-0 12 0 R >>\n>>\nendobj\n"
                               "9 0 obj\n<< /XObject << /x7 14 0 R >> >>\nendobj\n";
  for (size_t piece : {1u, 2u, 3u, 7u, 13u, 1000u}) {
    SCOPED_TRACE(piece);
    EXPECT_EQ(Filtered(input, piece), expected);
  }
}

TEST(PdfResourceFilter, LeavesANameUsedForAnotherObjectAndAnythingElseAsItIs) {
  // A name given twice for different objects is a real conflict, not ours to hide.
  const std::string conflict = "<< /XObject << /x7 14 0 R /x7 15 0 R >> >>";
  EXPECT_EQ(Filtered(conflict, 5), conflict);
  // Bytes that only start like a dictionary, binary data, and a cut-off end.
  const std::string other = std::string("/XObject <<\x01\x02 /x7 14 0 R /x7 14 0 R stream\n\xff/XObj", 48) +
                            "/XObject << /x3 3 0";
  EXPECT_EQ(Filtered(other, 4), other);
}

TEST(PdfResourceFilter, ReportsTheFilesWriteError) {
  TSink sink;
  sink.Fail = true;
  TPdfResourceFilter filter(TSink::Write, &sink);
  const std::string bytes = "%PDF-1.5\n";
  EXPECT_EQ(TPdfResourceFilter::Write(&filter, reinterpret_cast<const unsigned char*>(bytes.data()),
                                      static_cast<unsigned int>(bytes.size())),
            CAIRO_STATUS_WRITE_ERROR);
}

} // namespace
} // namespace mivora
