// The application object: its main form and the central handler of exceptions
// raised by event handlers.
#pragma once

#include "Component.h"
#include "Controls.h"

#include <exception>
#include <functional>
#include <memory>

namespace mivora {

class TApplication : public TComponent {
public:
  using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

  TApplication();
  ~TApplication() override;

  // The form that parents controls which need a window; never null.
  TForm* MainForm() const noexcept { return mainForm_; }

  // Reports the exception being handled: calls OnException when it is set,
  // otherwise writes the message to standard error. Must be called from a catch
  // block; always returns, also when the hook itself throws.
  void HandleException(TObject* Sender);

  // The application's own handler for exceptions of event handlers.
  TExceptionEvent OnException;

private:
  void Report(TObject* Sender, const std::exception& E) noexcept;

  TForm* mainForm_;
};

// The application object of the process.
extern TApplication* const Application;

} // namespace mivora
