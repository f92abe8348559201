// The client library of the CUPS print server, opened on first use; see
// LazyLibrary_p.h. It brings TLS, Kerberos and service discovery with it, which a
// job printing to a file never needs.
#include "LazyLibrary_p.h"

#include "Exceptions.h"

#include <cups/cups.h>
#include <cups/pwg.h>

#include <cstdarg>
#include <cstdio>

// The build names the library it was compiled against; these are Debian 12's.
#ifndef MIVORA_CUPS_SONAME
#define MIVORA_CUPS_SONAME "libcups.so.2"
#define MIVORA_CUPS_DIR ""
#endif

namespace mivora {
namespace {

[[noreturn]] void Raise(const std::string& Message) { throw ECupsError(Message); }

// The library; its failures are errors of the print server.
constinit TLazyLibrary Library(MIVORA_CUPS_SONAME, MIVORA_CUPS_DIR, "for printing to CUPS queues", Raise);

} // namespace
} // namespace mivora

extern "C" {

int cupsAddOption(const char *name, const char *value, int num_options, cups_option_t **options) {
  MIVORA_LAZY_CALL(mivora::Library, cupsAddOption, name, value, num_options, options);
}

ipp_status_t cupsCancelJob2(http_t *http, const char *name, int job_id, int purge) {
  MIVORA_LAZY_CALL(mivora::Library, cupsCancelJob2, http, name, job_id, purge);
}

cups_dinfo_t* cupsCopyDestInfo(http_t *http, cups_dest_t *dest) {
  MIVORA_LAZY_CALL(mivora::Library, cupsCopyDestInfo, http, dest);
}

int cupsCreateJob(http_t *http, const char *name, const char *title, int num_options, cups_option_t *options) {
  MIVORA_LAZY_CALL(mivora::Library, cupsCreateJob, http, name, title, num_options, options);
}

ipp_t* cupsDoRequest(http_t *http, ipp_t *request, const char *resource) {
  MIVORA_LAZY_CALL(mivora::Library, cupsDoRequest, http, request, resource);
}

http_encryption_t cupsEncryption(void) {
  MIVORA_LAZY_CALL(mivora::Library, cupsEncryption);
}

ipp_attribute_t* cupsFindDestDefault(http_t *http, cups_dest_t *dest, cups_dinfo_t *dinfo, const char *option) {
  MIVORA_LAZY_CALL(mivora::Library, cupsFindDestDefault, http, dest, dinfo, option);
}

ipp_attribute_t* cupsFindDestSupported(http_t *http, cups_dest_t *dest, cups_dinfo_t *dinfo, const char *option) {
  MIVORA_LAZY_CALL(mivora::Library, cupsFindDestSupported, http, dest, dinfo, option);
}

ipp_status_t cupsFinishDocument(http_t *http, const char *name) {
  MIVORA_LAZY_CALL(mivora::Library, cupsFinishDocument, http, name);
}

void cupsFreeDestInfo(cups_dinfo_t *dinfo) {
  MIVORA_LAZY_CALL(mivora::Library, cupsFreeDestInfo, dinfo);
}

void cupsFreeDests(int num_dests, cups_dest_t *dests) {
  MIVORA_LAZY_CALL(mivora::Library, cupsFreeDests, num_dests, dests);
}

void cupsFreeOptions(int num_options, cups_option_t *options) {
  MIVORA_LAZY_CALL(mivora::Library, cupsFreeOptions, num_options, options);
}

int cupsGetDestMediaByIndex(http_t *http, cups_dest_t *dest, cups_dinfo_t *dinfo, int n, unsigned flags, cups_size_t *size) {
  MIVORA_LAZY_CALL(mivora::Library, cupsGetDestMediaByIndex, http, dest, dinfo, n, flags, size);
}

int cupsGetDestMediaCount(http_t *http, cups_dest_t *dest, cups_dinfo_t *dinfo, unsigned flags) {
  MIVORA_LAZY_CALL(mivora::Library, cupsGetDestMediaCount, http, dest, dinfo, flags);
}

int cupsGetDestMediaDefault(http_t *http, cups_dest_t *dest, cups_dinfo_t *dinfo, unsigned flags, cups_size_t *size) {
  MIVORA_LAZY_CALL(mivora::Library, cupsGetDestMediaDefault, http, dest, dinfo, flags, size);
}

int cupsGetDests2(http_t *http, cups_dest_t **dests) {
  MIVORA_LAZY_CALL(mivora::Library, cupsGetDests2, http, dests);
}

const char* cupsGetOption(const char *name, int num_options, cups_option_t *options) {
  MIVORA_LAZY_CALL(mivora::Library, cupsGetOption, name, num_options, options);
}

ipp_status_t cupsLastError(void) {
  MIVORA_LAZY_CALL(mivora::Library, cupsLastError);
}

const char* cupsLastErrorString(void) {
  MIVORA_LAZY_CALL(mivora::Library, cupsLastErrorString);
}

int cupsParseOptions(const char *arg, int num_options, cups_option_t **options) {
  MIVORA_LAZY_CALL(mivora::Library, cupsParseOptions, arg, num_options, options);
}

const char* cupsServer(void) {
  MIVORA_LAZY_CALL(mivora::Library, cupsServer);
}

http_status_t cupsStartDocument(http_t *http, const char *name, int job_id, const char *docname, const char *format, int last_document) {
  MIVORA_LAZY_CALL(mivora::Library, cupsStartDocument, http, name, job_id, docname, format, last_document);
}

const char* cupsUser(void) {
  MIVORA_LAZY_CALL(mivora::Library, cupsUser);
}

http_status_t cupsWriteRequestData(http_t *http, const char *buffer, size_t length) {
  MIVORA_LAZY_CALL(mivora::Library, cupsWriteRequestData, http, buffer, length);
}

// Variadic, so not forwarded: the resource is formatted here, as the library does,
// and the URI assembled by its fixed-argument form.
http_uri_status_t httpAssembleURIf(http_uri_coding_t encoding, char *uri, int urilen, const char *scheme, const char *username, const char *host, int port, const char *resourcef, ...) {
  if (resourcef == nullptr) return httpAssembleURI(encoding, uri, urilen, scheme, username, host, port, nullptr);
  char resource[1024];
  std::va_list arguments;
  va_start(arguments, resourcef);
  const int length = std::vsnprintf(resource, sizeof resource, resourcef, arguments);
  va_end(arguments);
  if (length < 0 || static_cast<size_t>(length) >= sizeof resource) {
    if (uri != nullptr && urilen > 0) *uri = '\0';
    return HTTP_URI_STATUS_OVERFLOW;
  }
  return httpAssembleURI(encoding, uri, urilen, scheme, username, host, port, resource);
}

http_uri_status_t httpAssembleURI(http_uri_coding_t encoding, char *uri, int urilen, const char *scheme, const char *username, const char *host, int port, const char *resource) {
  MIVORA_LAZY_CALL(mivora::Library, httpAssembleURI, encoding, uri, urilen, scheme, username, host, port, resource);
}

void httpClose(http_t *http) {
  MIVORA_LAZY_CALL(mivora::Library, httpClose, http);
}

http_t* httpConnect2(const char *host, int port, http_addrlist_t *addrlist, int family, http_encryption_t encryption, int blocking, int msec, int *cancel) {
  MIVORA_LAZY_CALL(mivora::Library, httpConnect2, host, port, addrlist, family, encryption, blocking, msec, cancel);
}

int httpError(http_t *http) {
  MIVORA_LAZY_CALL(mivora::Library, httpError, http);
}

int httpReconnect2(http_t *http, int msec, int *cancel) {
  MIVORA_LAZY_CALL(mivora::Library, httpReconnect2, http, msec, cancel);
}

void httpSetTimeout(http_t *http, double timeout, http_timeout_cb_t cb, void *user_data) {
  MIVORA_LAZY_CALL(mivora::Library, httpSetTimeout, http, timeout, cb, user_data);
}

ipp_attribute_t* ippAddString(ipp_t *ipp, ipp_tag_t group, ipp_tag_t value_tag, const char *name, const char *language, const char *value) {
  MIVORA_LAZY_CALL(mivora::Library, ippAddString, ipp, group, value_tag, name, language, value);
}

ipp_attribute_t* ippAddStrings(ipp_t *ipp, ipp_tag_t group, ipp_tag_t value_tag, const char *name, int num_values, const char *language, const char* const *values) {
  MIVORA_LAZY_CALL(mivora::Library, ippAddStrings, ipp, group, value_tag, name, num_values, language, values);
}

void ippDelete(ipp_t *ipp) {
  MIVORA_LAZY_CALL(mivora::Library, ippDelete, ipp);
}

ipp_attribute_t* ippFindAttribute(ipp_t *ipp, const char *name, ipp_tag_t value_tag) {
  MIVORA_LAZY_CALL(mivora::Library, ippFindAttribute, ipp, name, value_tag);
}

ipp_t* ippGetCollection(ipp_attribute_t *attr, int element) {
  MIVORA_LAZY_CALL(mivora::Library, ippGetCollection, attr, element);
}

int ippGetCount(ipp_attribute_t *attr) {
  MIVORA_LAZY_CALL(mivora::Library, ippGetCount, attr);
}

int ippGetInteger(ipp_attribute_t *attr, int element) {
  MIVORA_LAZY_CALL(mivora::Library, ippGetInteger, attr, element);
}

int ippGetRange(ipp_attribute_t *attr, int element, int *upper) {
  MIVORA_LAZY_CALL(mivora::Library, ippGetRange, attr, element, upper);
}

const char* ippGetString(ipp_attribute_t *attr, int element, const char **language) {
  MIVORA_LAZY_CALL(mivora::Library, ippGetString, attr, element, language);
}

ipp_tag_t ippGetValueTag(ipp_attribute_t *attr) {
  MIVORA_LAZY_CALL(mivora::Library, ippGetValueTag, attr);
}

ipp_t* ippNewRequest(ipp_op_t op) {
  MIVORA_LAZY_CALL(mivora::Library, ippNewRequest, op);
}

int ippPort(void) {
  MIVORA_LAZY_CALL(mivora::Library, ippPort);
}

int pwgFormatSizeName(char *keyword, size_t keysize, const char *prefix, const char *name, int width, int length, const char *units) {
  MIVORA_LAZY_CALL(mivora::Library, pwgFormatSizeName, keyword, keysize, prefix, name, width, length, units);
}

pwg_media_t* pwgMediaForLegacy(const char *legacy) {
  MIVORA_LAZY_CALL(mivora::Library, pwgMediaForLegacy, legacy);
}

pwg_media_t* pwgMediaForPPD(const char *ppd) {
  MIVORA_LAZY_CALL(mivora::Library, pwgMediaForPPD, ppd);
}

pwg_media_t* pwgMediaForPWG(const char *pwg) {
  MIVORA_LAZY_CALL(mivora::Library, pwgMediaForPWG, pwg);
}

} // extern "C"
