// The JPEG codec (pictures in JPEG, photos embedded in vector output), opened on
// first use; see LazyLibrary_p.h.
#include "LazyLibrary_p.h"

#include "Exceptions.h"

#include <cstddef>
#include <cstdio>
#include <jpeglib.h>

// The build names the library it was compiled against; these are Debian 12's.
#ifndef MIVORA_JPEG_SONAME
#define MIVORA_JPEG_SONAME "libjpeg.so.62"
#define MIVORA_JPEG_DIR ""
#endif

namespace mivora {
namespace {

[[noreturn]] void Raise(const std::string& Message) { throw EGraphicError(Message); }

// The library; its failures are picture errors.
constinit TLazyLibrary Library(MIVORA_JPEG_SONAME, MIVORA_JPEG_DIR, "for JPEG pictures", Raise);

} // namespace
} // namespace mivora

extern "C" {

jpeg_error_mgr* jpeg_std_error(struct jpeg_error_mgr *err) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_std_error, err);
}

void jpeg_CreateDecompress(j_decompress_ptr cinfo, int version, size_t structsize) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_CreateDecompress, cinfo, version, structsize);
}

void jpeg_CreateCompress(j_compress_ptr cinfo, int version, size_t structsize) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_CreateCompress, cinfo, version, structsize);
}

void jpeg_destroy_compress(j_compress_ptr cinfo) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_destroy_compress, cinfo);
}

void jpeg_destroy_decompress(j_decompress_ptr cinfo) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_destroy_decompress, cinfo);
}

void jpeg_finish_compress(j_compress_ptr cinfo) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_finish_compress, cinfo);
}

boolean jpeg_finish_decompress(j_decompress_ptr cinfo) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_finish_decompress, cinfo);
}

void jpeg_mem_dest(j_compress_ptr cinfo, unsigned char **outbuffer, unsigned long *outsize) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_mem_dest, cinfo, outbuffer, outsize);
}

void jpeg_mem_src(j_decompress_ptr cinfo, const unsigned char *inbuffer, unsigned long insize) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_mem_src, cinfo, inbuffer, insize);
}

int jpeg_read_header(j_decompress_ptr cinfo, boolean require_image) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_read_header, cinfo, require_image);
}

JDIMENSION jpeg_read_scanlines(j_decompress_ptr cinfo, JSAMPARRAY scanlines, JDIMENSION max_lines) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_read_scanlines, cinfo, scanlines, max_lines);
}

void jpeg_set_defaults(j_compress_ptr cinfo) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_set_defaults, cinfo);
}

void jpeg_set_quality(j_compress_ptr cinfo, int quality, boolean force_baseline) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_set_quality, cinfo, quality, force_baseline);
}

void jpeg_start_compress(j_compress_ptr cinfo, boolean write_all_tables) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_start_compress, cinfo, write_all_tables);
}

boolean jpeg_start_decompress(j_decompress_ptr cinfo) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_start_decompress, cinfo);
}

JDIMENSION jpeg_write_scanlines(j_compress_ptr cinfo, JSAMPARRAY scanlines, JDIMENSION num_lines) {
  MIVORA_LAZY_CALL(mivora::Library, jpeg_write_scanlines, cinfo, scanlines, num_lines);
}

} // extern "C"
