#include "CupsTarget_p.h"

#include "Cups.h"
#include "Interrupts.h"

#include <filesystem>
#include <stdlib.h>
#include <string>
#include <system_error>

namespace mivora {

namespace fs = std::filesystem;

namespace {

class TCupsOutput : public TOutputTarget {
public:
  TCupsOutput(std::string Queue, const TPageLayout& Layout, const TCupsJobOptions& Options)
      : queue_(std::move(Queue)), layout_(Layout), options_(Options) {}
  ~TCupsOutput() override { RemoveFolder(); }

  void Open() override {
    const TCupsQueue queue = CupsQueue(queue_, options_.Timeout);
    CupsCheckReady(queue, layout_.Title);
    CupsCheckJobSettings(queue, options_.Settings);
    std::string pattern = (fs::temp_directory_path() / "mivora-job-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
      throw ECupsError("Printer queue \"" + queue_ + "\": cannot make a folder for the job in " +
                       fs::temp_directory_path().string());
    folder_ = pattern;
    registered_ = TTempPath(folder_.string());
    file_ = (folder_ / "job.pdf").string();
    pdf_ = MakeOutputTarget(ptPdf, file_, layout_);
    pdf_->Open();
  }

  cairo_t* StartPage(int32_t PageNumber) override { return pdf_->StartPage(PageNumber); }
  void FinishPage() override { pdf_->FinishPage(); }

  std::vector<std::string> Commit() override {
    pdf_->Commit();
    int32_t job = 0;
    {
      // A signal while the job is sent lets it be sent whole (each request is
      // bounded by the timeout): a job cut off half-way would linger on the
      // server. A second signal ends the process at once.
      TDeferInterrupts defer;
      // CupsSubmit looks again whether the queue stopped while the pages were drawn.
      job = CupsSubmit(queue_, file_, "application/pdf", layout_.Title,
                       CupsJobOptions(options_.Settings, options_.Media), options_.Timeout);
      if (options_.JobId != nullptr) *options_.JobId = job;
      // From now on an interrupt leaves the job where it is: it was sent.
      SetInterruptOutcome(": job " + std::to_string(job) + " was sent to printer queue \"" + queue_ +
                          "\" and stays there");
      RemoveFolder();
    }
    CheckInterrupt();
    if (options_.Wait && CupsWaitForJob(queue_, job, options_.Timeout) == cjTimedOut) {
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(options_.Timeout);
      throw ECupsError("Printer queue \"" + queue_ + "\": job " + std::to_string(job) +
                       " has not completed after " + std::to_string(seconds.count()) +
                       " s; it stays in the queue and may still print");
    }
    RemoveFolder();
    return {};
  }

  void Discard() noexcept override {
    if (pdf_) pdf_->Discard();
    RemoveFolder();
  }

private:
  void RemoveFolder() noexcept {
    if (folder_.empty()) return;
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    folder_.clear();
    registered_.Release();
  }

  std::string queue_;
  TPageLayout layout_;
  TCupsJobOptions options_;
  fs::path folder_;
  TTempPath registered_;  // removes folder_ if a signal ends the process
  std::string file_;
  std::unique_ptr<TOutputTarget> pdf_;
};

} // namespace

std::unique_ptr<TOutputTarget> MakeCupsOutput(const std::string& Queue, const TPageLayout& Layout,
                                              const TCupsJobOptions& Options) {
  return std::make_unique<TCupsOutput>(Queue, Layout, Options);
}

} // namespace mivora
