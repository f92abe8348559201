#include "Mivora.h"

#include "Printer.h"

namespace mivora {

void TMivora::Print(const std::string& Title) {
  RaiseEvent(BeforePrint);
  TPrinter* printer = Printer();
  printer->SetTitle(Title);
  printer->BeginDoc();
  try {
    PrintPage();
  } catch (...) {
    // A half-drawn page is not delivered, and the printer is free for the next job.
    printer->Abort();
    throw;
  }
  RaiseEvent(DuringPrint);
  printer->EndDoc();
  RaiseEvent(AfterPrint);
}

void TMivora::PrintPage() {
  for (TEntry& entry : entries_)
    if (entry.Cell->Visible) entry.Cell->Print();
  if (PrintEdgesLast) {
    for (TEntry& entry : entries_)
      if (entry.Cell->Visible) entry.Cell->PrintEdges();
  }
}

void TMivora::Magnification(float Factor, bool ScaleFont) {
  for (TEntry& entry : entries_) entry.Cell->Magnification(Factor, ScaleFont);
}

} // namespace mivora
