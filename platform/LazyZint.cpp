// The barcode encoder, opened on first use; see LazyLibrary_p.h.
#include "LazyLibrary_p.h"

#include "Exceptions.h"

#include <zint.h>

// The build names the library it was compiled against; these are Debian 12's.
#ifndef MIVORA_ZINT_SONAME
#define MIVORA_ZINT_SONAME "libzint.so.2.11"
#define MIVORA_ZINT_DIR ""
#endif

namespace mivora {
namespace {

[[noreturn]] void Raise(const std::string& Message) { throw EBarcodeError(Message); }

// The library; its failures are barcode errors.
constinit TLazyLibrary Library(MIVORA_ZINT_SONAME, MIVORA_ZINT_DIR, "for barcodes", Raise);

} // namespace
} // namespace mivora

extern "C" {

zint_symbol* ZBarcode_Create(void) {
  MIVORA_LAZY_CALL(mivora::Library, ZBarcode_Create);
}

void ZBarcode_Delete(struct zint_symbol *symbol) {
  MIVORA_LAZY_CALL(mivora::Library, ZBarcode_Delete, symbol);
}

int ZBarcode_Encode(struct zint_symbol *symbol, const unsigned char *source, int length) {
  MIVORA_LAZY_CALL(mivora::Library, ZBarcode_Encode, symbol, source, length);
}

} // extern "C"
