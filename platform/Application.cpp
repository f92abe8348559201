#include "Application.h"

#include <cstdio>

namespace mivora {

TApplication::TApplication() : TComponent(nullptr), mainForm_(new TForm(this)) {
  mainForm_->SetVisible(false);
}

TApplication::~TApplication() = default;

namespace {

void WriteToStandardError(const char* message) noexcept {
  std::fprintf(stderr, "%s\n", message);
  std::fflush(stderr);
}

} // namespace

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr current = std::current_exception();
  if (!current) return;
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& raised) {
    Report(Sender, raised);
  } catch (...) {
    Report(Sender, Exception("Unknown exception"));
  }
}

void TApplication::Report(TObject* Sender, const std::exception& E) noexcept {
  if (!OnException) {
    WriteToStandardError(E.what());
    return;
  }
  try {
    OnException(Sender, E);
  } catch (const std::exception& inner) {
    WriteToStandardError(inner.what());
  } catch (...) {
    WriteToStandardError(E.what());
  }
}

namespace {
TApplication& TheApplication() {
  static TApplication app;
  return app;
}
} // namespace

TApplication* const Application = &TheApplication();

} // namespace mivora
