#include "Printer.h"

#include "Canvas.h"
#include "ImageCompare.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace mivora::test {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh, empty folder of this test's own.
std::string Folder(const std::string& Name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path folder = fs::path(OutputDir()) / (std::string(info->test_suite_name()) + "." + info->name() + "-" + Name);
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder.string();
}

// The names of the files in Folder.
std::vector<std::string> FilesIn(const std::string& Folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(Folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PrinterTest, DeviceFiguresFollowPaperOrientationResolutionAndMargins) {
  TPrinter printer;
  HDC dc = printer.GetHandle();  // no job needed
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 600);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 600);
  EXPECT_EQ(printer.GetPageWidth(), 4961);  // 210 mm
  EXPECT_EQ(printer.GetPageHeight(), 7016); // 297 mm

  printer.SetResolution(300, 600);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 300);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 600);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 2480);
  EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 7016);

  printer.SetOrientation(poLandscape);
  EXPECT_EQ(printer.PaperWidthMm(), 297);
  EXPECT_EQ(printer.GetPageWidth(), 3508);
  EXPECT_EQ(printer.GetPageHeight(), 4961);

  printer.SetMargins({10, 5, 10, 5});
  EXPECT_EQ(printer.GetPageWidth(), 3272);   // 277 mm at 300 dpi
  EXPECT_EQ(printer.GetPageHeight(), 4724);  // 200 mm at 600 dpi
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 3272);

  printer.SetPaper(paLetter);
  printer.SetMargins({});
  printer.SetOrientation(poPortrait);
  printer.SetResolution(100);
  EXPECT_EQ(printer.GetPageWidth(), 850);
  EXPECT_EQ(printer.GetPageHeight(), 1100);
}

TEST(PrinterTest, RefusesSettingsThatLeaveNoPage) {
  TPrinter printer;
  EXPECT_THROW_MSG(printer.SetResolution(0, 600), EPrinterError,
                   "Invalid printer resolution 0 x 600 dpi (1 to 9600 dpi)");
  EXPECT_THROW_MSG(printer.SetPaperSize(-1, 100), EPrinterError,
                   "Invalid paper size -1 x 100 mm (up to 10000 mm each way)");
  EXPECT_THROW_MSG(printer.SetMargins({-2, 0, 0, 0}), EPrinterError, "Invalid printer margin -2 mm");
  EXPECT_THROW_MSG(printer.SetMargins({110, 0, 100, 0}), EPrinterError,
                   "Printer margins of 110 mm left and 100 mm right leave no printable width on paper 210 mm wide");
  printer.SetMargins({0, 150, 0, 100});
  EXPECT_THROW_MSG(printer.SetPaper(paA5), EPrinterError,
                   "Printer margins of 150 mm top and 100 mm bottom leave no printable height on paper 210 mm high");
  EXPECT_EQ(printer.Paper(), paA4);  // unchanged after the refusal
  EXPECT_THROW_MSG(printer.SetTarget("fax:0123"), EPrinterError,
                   "Unknown printer target \"fax:0123\": use pdf:, png:, svg:, ps:, cups: or record:");
  EXPECT_THROW_MSG(printer.SetTarget("png:"), EPrinterError, "Printer target \"png:\" needs a file name");
  printer.SetTarget("ps:out/page.ps");
  EXPECT_EQ(printer.Target(), ptPostScript);
  EXPECT_EQ(printer.TargetPath(), "out/page.ps");
}

TEST(PrinterTest, PdfHasThePaperSizeInPointsAndPassesAStructureCheck) {
  const std::string folder = Folder("pdf");
  const std::string path = folder + "/page.pdf";
  TPrinter printer;
  printer.SetTarget(ptPdf, path);
  printer.SetPaper(paLetter);
  printer.SetOrientation(poLandscape);
  printer.SetMargins({10, 10, 10, 10});
  printer.SetTitle("Quarterly report");
  printer.BeginDoc();
  printer.GetCanvas()->Rectangle(0, 0, 1000, 1000);
  printer.NewPage();
  EXPECT_EQ(printer.PageNumber(), 2);
  printer.GetCanvas()->Rectangle(0, 0, 1000, 1000);
  printer.EndDoc();
  EXPECT_FALSE(printer.Printing());
  EXPECT_EQ(printer.OutputFiles(), std::vector<std::string>{path});

  const TCommandResult info = RunCommandWithStatus("pdfinfo '" + path + "' 2>&1");
  ASSERT_EQ(info.ExitCode, 0) << info.Output;
  EXPECT_NE(info.Output.find("Page size:       792 x 612 pts (letter)"), std::string::npos) << info.Output;
  EXPECT_NE(info.Output.find("Pages:           2"), std::string::npos) << info.Output;
  EXPECT_NE(info.Output.find("Title:           Quarterly report"), std::string::npos) << info.Output;
  const TCommandResult check = RunCommandWithStatus("qpdf --check '" + path + "' 2>&1");
  EXPECT_EQ(check.ExitCode, 0) << check.Output;
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"page.pdf"});
}

TEST(PrinterTest, VectorPagesMapOneDevicePixelToOneDotOfTheResolution) {
  const std::string folder = Folder("scale");
  const std::string path = folder + "/page.pdf";
  TPrinter printer;
  printer.SetTarget(ptPdf, path);
  printer.SetResolution(600, 300);
  printer.SetMargins({25.4, 12.7, 0, 0});
  printer.BeginDoc();
  printer.GetCanvas()->Brush()->SetColor(clBlack);
  printer.GetCanvas()->Rectangle(0, 0, 600, 150);  // one inch by half an inch
  printer.EndDoc();

  // Rendered at 100 dpi: the margins put it at (100, 50), 100 by 50 pixels.
  const TCommandResult render =
      RunCommandWithStatus("pdftoppm -r 100 -aa no -aaVector no -singlefile -png '" + path + "' '" + folder +
                           "/render' 2>&1");
  ASSERT_EQ(render.ExitCode, 0) << render.Output;
  const TImage page = TImage::Load(folder + "/render.png");
  EXPECT_EQ(page.Width(), 827);
  const TRect box = page.BoundsOf(clBlack);
  EXPECT_EQ(box.Left, 100);
  EXPECT_EQ(box.Top, 50);
  // Without antialiasing the renderer also fills pixels an edge only touches.
  EXPECT_NEAR(box.Right, 200, 1);
  EXPECT_NEAR(box.Bottom, 100, 1);
}

TEST(PrinterTest, AbortedAndFailedJobsLeaveNoFileAndKeepThePreviousOne) {
  const std::string folder = Folder("keep");
  const std::string path = folder + "/page.pdf";
  {
    std::ofstream previous(path);
    previous << "previous";
  }
  TPrinter printer;
  printer.SetTarget(ptPdf, path);
  printer.BeginDoc();
  printer.GetCanvas()->Rectangle(0, 0, 100, 100);
  printer.Abort();
  EXPECT_FALSE(printer.Printing());
  EXPECT_EQ(ReadFile(path), "previous");
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"page.pdf"});

  // The output cannot be put in place: a folder took its name meanwhile.
  const std::string blocked = folder + "/blocked.png";
  printer.SetTarget(ptPng, blocked);
  printer.SetResolution(72);
  printer.BeginDoc();
  fs::create_directory(blocked);
  EXPECT_THROW_MSG(printer.EndDoc(), EPrinterError, "Cannot write \"" + blocked + "\": Is a directory");
  EXPECT_FALSE(printer.Printing());
  EXPECT_TRUE(printer.OutputFiles().empty());
  EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"blocked.png", "page.pdf"}));
  EXPECT_TRUE(fs::is_directory(blocked));
}

TEST(PrinterTest, BeginDocTwiceLeavesTheOpenJobAlone) {
  const std::string folder = Folder("twice");
  TPrinter printer;
  printer.SetTarget(ptPdf, folder + "/page.pdf");
  printer.SetTitle("First");
  printer.BeginDoc();
  printer.SetTitle("Second");
  EXPECT_THROW_MSG(printer.BeginDoc(), EPrinterError,
                   "Cannot begin the print job \"Second\": the job \"First\" is still open");
  EXPECT_THROW_MSG(printer.SetResolution(300), EPrinterError,
                   "Cannot change the printer's resolution while the print job \"First\" is open");
  EXPECT_TRUE(printer.Printing());
  printer.GetCanvas()->Rectangle(0, 0, 10, 10);
  printer.EndDoc();
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"page.pdf"});
  EXPECT_THROW_MSG(printer.EndDoc(), EPrinterError, "Cannot end the print job: no print job is open");
  EXPECT_THROW_MSG(printer.NewPage(), EPrinterError, "Cannot start a new page: no print job is open");
}

TEST(PrinterTest, UnwritableTargetFailsAtBeginDocNamingThePath) {
  const std::string folder = Folder("missing");
  TPrinter printer;
  const std::string path = folder + "/no/such/folder/page.pdf";
  printer.SetTarget(ptPdf, path);
  EXPECT_THROW_MSG(printer.BeginDoc(), EPrinterError,
                   "Cannot write \"" + path + "\": No such file or directory");
  EXPECT_FALSE(printer.Printing());
  printer.SetTarget(ptSvg, folder);
  EXPECT_THROW_MSG(printer.BeginDoc(), EPrinterError, "Cannot write \"" + folder + "\": it is a folder");
  EXPECT_TRUE(FilesIn(folder).empty());
}

TEST(PrinterTest, SetFailureMakesTheDeviceFiguresAndBeginDocFail) {
  TPrinter printer;
  printer.SetTarget(ptRecord);
  printer.SetFailure("Printer \"Office\" is offline");
  EXPECT_THROW_MSG(printer.GetHandle(), EPrinterError, "Printer \"Office\" is offline");
  EXPECT_THROW_MSG(printer.GetPageWidth(), EPrinterError, "Printer \"Office\" is offline");
  EXPECT_THROW_MSG(printer.GetPageHeight(), EPrinterError, "Printer \"Office\" is offline");
  EXPECT_THROW_MSG(printer.BeginDoc(), EPrinterError, "Printer \"Office\" is offline");
  EXPECT_FALSE(printer.Printing());
  printer.SetFailure({});
  EXPECT_EQ(printer.GetPageWidth(), 4961);
}

TEST(PrinterTest, MarginsOffsetTheOriginAndClipThePage) {
  const std::string folder = Folder("margins");
  const std::string path = folder + "/page.png";
  TPrinter printer;
  printer.SetTarget(ptPng, path);
  printer.SetPaperSize(25.4, 25.4);
  printer.SetResolution(100);
  printer.SetMargins({2.54, 5.08, 0, 0});  // 10 and 20 pixels
  EXPECT_EQ(printer.GetPageWidth(), 90);
  EXPECT_EQ(printer.GetPageHeight(), 80);
  printer.BeginDoc();
  printer.GetCanvas()->Brush()->SetColor(0x0000FF);
  printer.GetCanvas()->Rectangle(-5, -5, 5, 5);  // only the part on the page shows
  printer.NewPage();
  printer.GetCanvas()->Rectangle(0, 0, 90, 80);
  printer.EndDoc();
  EXPECT_EQ(printer.OutputFiles(), (std::vector<std::string>{path, folder + "/page-2.png"}));

  const TImage first = TImage::Load(path);
  EXPECT_EQ(first.Width(), 100);
  EXPECT_EQ(first.Height(), 100);
  EXPECT_EQ(first.BoundsOf(0x000000), (TRect{10, 20, 15, 25}));
  EXPECT_EQ(first.BoundsOf(0x0000FF), (TRect{10, 20, 14, 24}));
  const TImage second = TImage::Load(folder + "/page-2.png");
  EXPECT_EQ(second.BoundsOf(0x000000), (TRect{10, 20, 100, 100}));
}

TEST(PrinterTest, SvgAndPostScriptTargetsWriteTheirFormats) {
  const std::string folder = Folder("formats");
  TPrinter printer;
  printer.SetPaper(paA5);
  printer.SetTitle("Labels");
  printer.SetTarget(ptSvg, folder + "/page.svg");
  printer.BeginDoc();
  printer.GetCanvas()->Rectangle(0, 0, 600, 600);
  printer.EndDoc();
  const std::string svg = ReadFile(folder + "/page.svg");
  EXPECT_NE(svg.find("width=\"419.527559pt\""), std::string::npos) << svg.substr(0, 300);

  printer.SetTarget(ptPostScript, folder + "/page.ps");
  printer.BeginDoc();
  printer.GetCanvas()->Rectangle(0, 0, 600, 600);
  printer.EndDoc();
  const std::string ps = ReadFile(folder + "/page.ps");
  EXPECT_EQ(ps.rfind("%!PS", 0), 0u);
  EXPECT_NE(ps.find("%%Title: Labels"), std::string::npos);
  EXPECT_NE(ps.find("%%DocumentMedia: A5 420 595"), std::string::npos) << ps.substr(0, 600);
}

TEST(PrinterTest, RecordingKeepsTheLastJobOnly) {
  TPrinter printer;
  printer.SetTarget(ptRecord);
  printer.SetTitle("One");
  printer.BeginDoc();
  printer.GetCanvas()->MoveTo(1, 1);
  printer.EndDoc();
  printer.SetTitle("Two");
  printer.BeginDoc();
  HDC dc = printer.GetCanvas()->GetHandle();
  SetMapMode(dc, MM_TEXT);
  IntersectClipRect(dc, 1, 2, 3, 4);
  SelectClipRgn(dc, nullptr);
  printer.Abort();
  std::vector<std::string> ops;
  for (const TDrawOp& op : printer.RecordedOps()) ops.push_back(op.ToString());
  EXPECT_EQ(ops, (std::vector<std::string>{"BeginDoc() \"Two\"", "SetMapMode(1)", "IntersectClipRect(1, 2, 3, 4)",
                                           "SelectClipRgn(0)", "Abort()"}));
}

TEST(PrinterTest, LinksAreFollowedAndDevicesWrittenDirectly) {
  const std::string folder = Folder("links");
  {
    std::ofstream real(folder + "/real.pdf");
    real << "previous";
  }
  fs::create_symlink("real.pdf", folder + "/link.pdf");
  TPrinter printer;
  printer.SetTarget(ptPdf, folder + "/link.pdf");
  printer.BeginDoc();
  printer.EndDoc();
  EXPECT_TRUE(fs::is_symlink(folder + "/link.pdf"));
  EXPECT_EQ(ReadFile(folder + "/real.pdf").rfind("%PDF", 0), 0u);

  // A device cannot be replaced by a file.
  printer.SetTarget(ptPdf, "/dev/null");
  printer.BeginDoc();
  printer.EndDoc();
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(PrinterTest, TheEnvironmentChoosesTheProcessPrintersTarget) {
  // Each statement runs in a fresh process, where the printer is not made yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ::setenv("MIVORA_PRINTER", "png:out/page.png", 1);
        std::exit(Printer()->Target() == ptPng && Printer()->TargetPath() == "out/page.png" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        ::setenv("MIVORA_PRINTER", "fax:0123", 1);
        try {
          Printer();
        } catch (const EPrinterError& error) {
          std::fprintf(stderr, "%s\n", error.what());
          std::exit(0);
        }
        std::exit(1);
      },
      ::testing::ExitedWithCode(0), "MIVORA_PRINTER: Unknown printer target \"fax:0123\"");
}

TEST(PrinterTest, TheProcessPrinterIsOneObject) {
  EXPECT_EQ(Printer(), Printer());
  EXPECT_EQ(Printer()->GetCanvas(), Printer()->GetCanvas());
}

TEST(RectArithmeticTest, OffsetAndInflateSaturateInsteadOfOverflowing) {
  TRect rect{10, 20, 30, 40};
  EXPECT_TRUE(OffsetRect(&rect, 5, -5));
  EXPECT_EQ(rect, (TRect{15, 15, 35, 35}));
  EXPECT_TRUE(InflateRect(&rect, -5, 10));
  EXPECT_EQ(rect, (TRect{20, 5, 30, 45}));
  TRect far{0, 0, 2147483600, 10};
  OffsetRect(&far, 1000, 0);
  EXPECT_EQ(far.Right, 2147483647);
  EXPECT_FALSE(OffsetRect(nullptr, 1, 1));
}

} // namespace
} // namespace mivora::test
