// The SVG renderer, opened on first use; see LazyLibrary_p.h.
#include "LazyLibrary_p.h"

#include "Exceptions.h"

#include <librsvg/rsvg.h>

// The build names the library it was compiled against; these are Debian 12's.
#ifndef MIVORA_RSVG_SONAME
#define MIVORA_RSVG_SONAME "librsvg-2.so.2"
#define MIVORA_RSVG_DIR ""
#endif

namespace mivora {
namespace {

[[noreturn]] void Raise(const std::string& Message) { throw EGraphicError(Message); }

// The library; its failures are picture errors.
constinit TLazyLibrary Library(MIVORA_RSVG_SONAME, MIVORA_RSVG_DIR, "for SVG pictures", Raise);

} // namespace
} // namespace mivora

extern "C" {

void rsvg_handle_get_intrinsic_dimensions(RsvgHandle *handle, gboolean *out_has_width, RsvgLength *out_width, gboolean *out_has_height, RsvgLength *out_height, gboolean *out_has_viewbox, RsvgRectangle *out_viewbox) {
  MIVORA_LAZY_CALL(mivora::Library, rsvg_handle_get_intrinsic_dimensions, handle, out_has_width, out_width, out_has_height, out_height, out_has_viewbox, out_viewbox);
}

gboolean rsvg_handle_get_intrinsic_size_in_pixels(RsvgHandle *handle, gdouble *out_width, gdouble *out_height) {
  MIVORA_LAZY_CALL(mivora::Library, rsvg_handle_get_intrinsic_size_in_pixels, handle, out_width, out_height);
}

RsvgHandle* rsvg_handle_new_from_data(const guint8 *data, gsize data_len, GError **error) {
  MIVORA_LAZY_CALL(mivora::Library, rsvg_handle_new_from_data, data, data_len, error);
}

gboolean rsvg_handle_render_document(RsvgHandle *handle, cairo_t *cr, const RsvgRectangle *viewport, GError **error) {
  MIVORA_LAZY_CALL(mivora::Library, rsvg_handle_render_document, handle, cr, viewport, error);
}

void rsvg_handle_set_dpi(RsvgHandle *handle, double dpi) {
  MIVORA_LAZY_CALL(mivora::Library, rsvg_handle_set_dpi, handle, dpi);
}

} // extern "C"
