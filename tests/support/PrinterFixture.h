// Points the process printer at a target of the test's own and puts every
// setting back afterwards, so tests do not depend on each other's printer.
#pragma once

#include "Canvas.h"
#include "ImageCompare.h"
#include "Printer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace mivora::test {

// Saves the printer's settings; on destruction aborts any job still open and
// restores them.
class TPrinterGuard {
public:
  explicit TPrinterGuard(TPrinter* APrinter = Printer())
      : printer_(APrinter), target_(APrinter->Target()), path_(APrinter->TargetPath()),
        paper_(APrinter->Paper()), orientation_(APrinter->Orientation()),
        dpiX_(APrinter->ResolutionX()), dpiY_(APrinter->ResolutionY()), margins_(APrinter->Margins()),
        title_(APrinter->Title()), failure_(APrinter->Failure()) {
    // A custom paper is stored as it lies in portrait.
    const bool landscape = orientation_ == poLandscape;
    paperW_ = landscape ? APrinter->PaperHeightMm() : APrinter->PaperWidthMm();
    paperH_ = landscape ? APrinter->PaperWidthMm() : APrinter->PaperHeightMm();
  }

  ~TPrinterGuard() {
    printer_->Abort();
    printer_->SetFailure({});
    printer_->SetMargins({});
    if (paper_ == paCustom)
      printer_->SetPaperSize(paperW_, paperH_);
    else
      printer_->SetPaper(paper_);
    printer_->SetOrientation(orientation_);
    printer_->SetResolution(dpiX_, dpiY_);
    printer_->SetMargins(margins_);
    printer_->SetTarget(target_, path_);
    printer_->SetTitle(title_);
    printer_->SetFailure(failure_);
  }

  TPrinterGuard(const TPrinterGuard&) = delete;
  TPrinterGuard& operator=(const TPrinterGuard&) = delete;

private:
  TPrinter* printer_;
  TPrinterTarget target_;
  std::string path_;
  TPaper paper_;
  double paperW_ = 0;
  double paperH_ = 0;
  TPrinterOrientation orientation_;
  int32_t dpiX_;
  int32_t dpiY_;
  TPrinterMargins margins_;
  std::string title_;
  std::string failure_;
};

// A test whose printer is its own: by default the recording target on A4 at
// 600 dpi; the helpers switch to small PNG or PDF pages.
class PrinterFixture : public ::testing::Test {
protected:
  // A file of this test in the test output folder, removed if it exists.
  static std::string OutputFile(const std::string& Name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string prefix = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() + "-" : "";
    const std::filesystem::path path = std::filesystem::path(OutputDir()) / (prefix + Name);
    std::filesystem::remove(path);
    return path.string();
  }

  // Records every operation; nothing is written.
  void UseRecording() { printer->SetTarget(ptRecord); }

  // A PNG page of WidthMm x HeightMm at Dpi; returns its file.
  std::string UsePng(const std::string& Name, int32_t Dpi = 300, double WidthMm = 50,
                     double HeightMm = 50) {
    const std::string path = OutputFile(Name + ".png");
    printer->SetPaperSize(WidthMm, HeightMm);
    printer->SetResolution(Dpi);
    printer->SetTarget(ptPng, path);
    return path;
  }

  // A PDF file; returns its path.
  std::string UsePdf(const std::string& Name) {
    const std::string path = OutputFile(Name + ".pdf");
    printer->SetTarget(ptPdf, path);
    return path;
  }

  // Ends the open job and loads the PNG it wrote.
  TImage EndAndLoad(const std::string& PngPath) {
    printer->EndDoc();
    return TImage::Load(PngPath);
  }

  TPrinterGuard guard_;
  TPrinter* printer = Printer();
  TCanvas* canvas = Printer()->GetCanvas();

  void SetUp() override { UseRecording(); }
};

} // namespace mivora::test
