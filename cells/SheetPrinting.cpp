#include "Mivora.h"

#include "Canvas.h"
#include "Printer.h"

namespace mivora {

void TMivora::Print(const std::string& Title) {
  // One page is a document of one page, with the same events and the same
  // handling of failures.
  BeginDocument(Title);
  PrintNextPage();
  EndDocument();
}

void TMivora::PrintPage() {
  for (TEntry& entry : entries_)
    if (entry.Cell->Visible) entry.Cell->Print();
  if (PrintEdgesLast) {
    // Edges of one colour, one cell after the other, reach the page as one figure.
    const TCanvasFigures figures(Printer()->GetCanvas());
    for (TEntry& entry : entries_)
      if (entry.Cell->Visible) entry.Cell->PrintEdges();
  }
}

void TMivora::BeginDocument(const std::string& Title) {
  RaiseEvent(BeforePrint);
  TPrinter* printer = Printer();
  // The printer refuses a second job while one is open, this sheet's included.
  printer->SetTitle(Title);
  printer->BeginDoc();
  documentOpen_ = true;
  documentPages_ = 0;
  documentTitle_ = Title;
}

void TMivora::PrintNextPage() {
  TPrinter* printer = Printer();
  if (!documentOpen_ || !printer->Printing()) {
    documentOpen_ = false;
    throw EPrinterError("Cannot print a page: no document is open (call BeginDocument first)");
  }
  try {
    // The job opens with its first page; every later page is started here.
    if (documentPages_ > 0) printer->NewPage();
    PrintPage();
  } catch (...) {
    // A half-drawn page is not delivered, and the printer is free for the next job.
    AbortDocument();
    throw;
  }
  ++documentPages_;
  RaiseEvent(DuringPrint);
}

void TMivora::EndDocument() {
  TPrinter* printer = Printer();
  if (!documentOpen_ || !printer->Printing()) {
    documentOpen_ = false;
    throw EPrinterError("Cannot end the document: no document is open");
  }
  if (documentPages_ == 0) {
    AbortDocument();
    throw EPrinterError("The document \"" + documentTitle_ +
                        "\" has no pages: nothing was printed (call PrintNextPage before EndDocument)");
  }
  // A failing end (an output that cannot be written, a queue that refuses the
  // job) leaves the printer without a job; the document is over either way.
  documentOpen_ = false;
  printer->EndDoc();
  RaiseEvent(AfterPrint);
}

void TMivora::AbortDocument() {
  if (!documentOpen_) return;
  documentOpen_ = false;
  Printer()->Abort();
}

void TMivora::Magnification(float Factor, bool ScaleFont) {
  for (TEntry& entry : entries_) entry.Cell->Magnification(Factor, ScaleFont);
}

} // namespace mivora
