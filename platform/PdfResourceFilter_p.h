// The bytes of a PDF on their way from Cairo to the file, with each picture
// named once in the resources of the page (or form) that shows it.
#pragma once

#include <cairo.h>

#include <set>
#include <string>

namespace mivora {

// Cairo's PDF writer names an image or form in the resources of a page once per
// use, so a picture drawn twice on one page leaves an /XObject dictionary with
// the same entry twice. PDF forbids repeated keys (qpdf --check warns about each
// one, and strict readers and validators refuse the file). This filter sits
// between Cairo and the file: in every "/XObject << ... >>" dictionary it
// replaces each repetition of an entry ("/x7 14 0 R" once more) by as many
// spaces, so every byte offset Cairo records for its cross-reference table
// stays right. An entry that reuses a name for another object is left alone.
class TPdfResourceFilter {
public:
  // Writes through Sink with Closure, as Cairo would have.
  TPdfResourceFilter(cairo_write_func_t Sink, void* Closure) : sink_(Sink), closure_(Closure) {}

  // Cairo's write callback; the closure is the filter.
  static cairo_status_t Write(void* Closure, const unsigned char* Data, unsigned int Length);

  // Passes on what is held back at the end of the data (the start of an entry
  // whose end has not come); call once Cairo has finished the document.
  cairo_status_t Flush();

private:
  cairo_status_t Take(const unsigned char* Data, unsigned int Length);
  // Ends the entry held in pending_: blanked when it repeats one of the
  // dictionary's earlier entries, moved to out_ in any case.
  void EndEntry();

  cairo_write_func_t sink_;
  void* closure_;
  size_t matched_ = 0;          // bytes of the dictionary's opening matched so far
  bool inDictionary_ = false;   // between "/XObject <<" and its ">>"
  std::string pending_;         // the entry being read, not yet passed on
  std::set<std::string> seen_;  // the dictionary's entries so far
  std::string out_;             // what one call passes on
};

} // namespace mivora
