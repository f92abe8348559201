#include "Mivora.h"

#include "Application.h"
#include "Picture.h"
#include "Printer.h"
#include "TestSupport.h"

#include <filesystem>

namespace mivora {
namespace {

class SheetPrintingTest : public ::testing::Test {
protected:
  void SetUp() override {
    Printer()->SetTarget(ptRecord);
    Printer()->SetResolution(600);
    Printer()->SetPaper(paA4);
    Application->OnException = [this](TObject*, const std::exception& E) {
      log.push_back(std::string("handled ") + E.what());
    };
    sheet.BeforePrint = [this](TObject*) { Event("BeforePrint"); };
    sheet.DuringPrint = [this](TObject*) { Event("DuringPrint"); };
    sheet.AfterPrint = [this](TObject*) { Event("AfterPrint"); };
  }
  void TearDown() override {
    Application->OnException = nullptr;
    Printer()->SetFailure("");
  }

  void Event(const std::string& name) {
    log.push_back(name + (Printer()->Printing() ? " (job open)" : ""));
    if (raiseInHandlers) throw std::runtime_error(name + " failed");
  }

  TMivora sheet{nullptr};
  std::vector<std::string> log;
  bool raiseInHandlers = false;
};

TEST_F(SheetPrintingTest, EmptySheetPrintsAnEmptyPageWithEventsInOrder) {
  sheet.Print("Empty");
  EXPECT_EQ(log, (std::vector<std::string>{"BeforePrint", "DuringPrint (job open)", "AfterPrint"}));
  ASSERT_EQ(Printer()->RecordedOps().size(), 2u);
  EXPECT_EQ(Printer()->RecordedOps()[0].Name, "BeginDoc");
  EXPECT_EQ(Printer()->RecordedOps()[0].Text, "Empty");
  EXPECT_EQ(Printer()->RecordedOps()[1].Name, "EndDoc");
}

TEST_F(SheetPrintingTest, HandlersThatRaiseAreReportedAndPrintingGoesOn) {
  raiseInHandlers = true;
  sheet.AddText("A", "text", 1, 1, 5, 2);
  sheet.Print("job");
  EXPECT_EQ(log, (std::vector<std::string>{
                     "BeforePrint", "handled BeforePrint failed", "DuringPrint (job open)",
                     "handled DuringPrint failed", "AfterPrint", "handled AfterPrint failed"}));
  EXPECT_FALSE(Printer()->Printing());
  EXPECT_EQ(Printer()->RecordedOps().back().Name, "EndDoc");
}

TEST_F(SheetPrintingTest, APrinterThatCannotStartStopsAfterBeforePrint) {
  Printer()->SetFailure("out of paper");
  EXPECT_THROW_MSG(sheet.Print("job"), EPrinterError, "out of paper");
  EXPECT_EQ(log, std::vector<std::string>{"BeforePrint"});
}

// A picture that cannot tell its size, as a broken picture would fail to draw.
class BrokenGraphic : public TGraphic {
public:
  int32_t Width() const override { throw EPrinterError("picture data lost"); }
  int32_t Height() const override { return 1; }
};

TEST_F(SheetPrintingTest, ACellThatFailsAbortsTheJobAndThePrinterStaysUsable) {
  const std::string path = test::OutputDir() + "/failed-cell.pdf";
  std::filesystem::remove(path);
  Printer()->SetTarget(ptPdf, path);
  sheet.AddText("Good", "fine", 1, 1, 5, 2);
  TCell* broken = sheet.AddGraphic("Broken", new BrokenGraphic, 1, 4, 5, 2);
  sheet.AddText("Later", "never drawn", 1, 7, 5, 2);

  EXPECT_THROW_MSG(sheet.Print("fails"), EPrinterError, "picture data lost");
  EXPECT_EQ(log, std::vector<std::string>{"BeforePrint"}) << "no later event";
  EXPECT_FALSE(Printer()->Printing());
  EXPECT_FALSE(std::filesystem::exists(path)) << "no partial page is left";

  sheet.Remove(broken);
  log.clear();
  sheet.Print("works again");
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(log.back(), "AfterPrint");
}

TEST_F(SheetPrintingTest, DeferredEdgesLieOverLaterCellsFills) {
  sheet.SetMeasurement(mtPixels);
  sheet.SetEdges(edAll, 0, psSolid, 1);
  sheet.AddText("Back", "", 0, 0, 100, 100);
  sheet.RemoveFromSelection(nullptr); // later settings are for new cells only
  sheet.SetEdges(edAll, 0, psClear, 1);
  sheet.SetBrush(0x00FFFF, bsSolid);
  sheet.AddText("Front", "", 50, 50, 100, 100);

  // Position of the front cell's fill and of the back cell's bottom edge bar.
  auto positions = [] {
    const auto& ops = Printer()->RecordedOps();
    size_t fill = 0, edge = 0;
    for (size_t i = 0; i < ops.size(); ++i) {
      if (ops[i].Name != "Rectangle") continue;
      if (ops[i].Text == "pen clear 1 0x000000, brush solid 0x00FFFF") fill = i;
      if (ops[i].Args == std::vector<int64_t>{-1, 99, 101, 101}) edge = i;
    }
    return std::pair{fill, edge};
  };
  sheet.Print("job");
  auto [fill, edge] = positions();
  EXPECT_GT(edge, fill) << "the back cell's edge is drawn over the front cell's fill";

  sheet.PrintEdgesLast = false;
  sheet.Print("job");
  std::tie(fill, edge) = positions();
  EXPECT_LT(edge, fill) << "the front cell's fill now covers the back cell's edge";
}

// --- Documents of several pages

// The job operations and drawn texts of the last recorded job, in order.
std::vector<std::string> JobAndTexts() {
  std::vector<std::string> seen;
  for (const TDrawOp& op : Printer()->RecordedOps()) {
    if (op.Name == "BeginDoc" || op.Name == "NewPage" || op.Name == "EndDoc" || op.Name == "Abort")
      seen.push_back(op.Name);
    else if (op.Name == "DrawText")
      seen.push_back(op.Text);
  }
  return seen;
}

TEST_F(SheetPrintingTest, EachPageOfADocumentShowsTheSheetAsItStood) {
  TCell* name = sheet.AddText("Name", "", 1, 1, 8, 2);
  sheet.BeginDocument("Badges");
  for (const char* person : {"Ada", "Grace", "Edsger"}) {
    name->SetText(person);
    sheet.PrintNextPage();
  }
  EXPECT_TRUE(sheet.DocumentOpen());
  EXPECT_EQ(sheet.DocumentPages(), 3);
  sheet.EndDocument();

  EXPECT_FALSE(sheet.DocumentOpen());
  EXPECT_FALSE(Printer()->Printing());
  EXPECT_EQ(JobAndTexts(), (std::vector<std::string>{"BeginDoc", "Ada", "NewPage", "Grace", "NewPage",
                                                     "Edsger", "EndDoc"}));
  EXPECT_EQ(Printer()->RecordedOps().front().Text, "Badges");
  EXPECT_EQ(log, (std::vector<std::string>{"BeforePrint", "DuringPrint (job open)", "DuringPrint (job open)",
                                           "DuringPrint (job open)", "AfterPrint"}));
}

TEST_F(SheetPrintingTest, DocumentMisuseIsRefusedWithAMessageAndLeavesNoJobBehind) {
  EXPECT_THROW_MSG(sheet.PrintNextPage(), EPrinterError,
                   "Cannot print a page: no document is open (call BeginDocument first)");
  EXPECT_THROW_MSG(sheet.EndDocument(), EPrinterError, "Cannot end the document: no document is open");
  sheet.AbortDocument(); // harmless without a document

  sheet.BeginDocument("Empty");
  EXPECT_THROW_MSG(sheet.EndDocument(), EPrinterError,
                   "The document \"Empty\" has no pages: nothing was printed "
                   "(call PrintNextPage before EndDocument)");
  EXPECT_FALSE(sheet.DocumentOpen());
  EXPECT_FALSE(Printer()->Printing());
  EXPECT_EQ(Printer()->RecordedOps().back().Name, "Abort");
  EXPECT_EQ(log, std::vector<std::string>{"BeforePrint"}) << "an abandoned document ends without AfterPrint";
}

TEST_F(SheetPrintingTest, ASecondDocumentWhileOneIsOpenIsRefusedAndTheFirstGoesOn) {
  sheet.AddText("A", "first", 1, 1, 8, 2);
  TMivora other(nullptr);
  sheet.BeginDocument("First");
  sheet.PrintNextPage();
  EXPECT_THROW_MSG(other.BeginDocument("Second"), EPrinterError,
                   "Cannot begin the print job \"Second\": the job \"First\" is still open");
  EXPECT_THROW_MSG(sheet.Print("Third"), EPrinterError,
                   "Cannot begin the print job \"Third\": the job \"First\" is still open");
  EXPECT_FALSE(other.DocumentOpen());
  EXPECT_TRUE(sheet.DocumentOpen());
  sheet.PrintNextPage();
  sheet.EndDocument();
  EXPECT_EQ(JobAndTexts(), (std::vector<std::string>{"BeginDoc", "first", "NewPage", "first", "EndDoc"}));
}

TEST_F(SheetPrintingTest, APageThatFailsAbortsTheWholeDocumentAndWritesNothing) {
  const std::string path = test::OutputDir() + "/failed-document.pdf";
  std::filesystem::remove(path);
  Printer()->SetTarget(ptPdf, path);
  sheet.AddText("Text", "page", 1, 1, 5, 2);
  sheet.BeginDocument("Breaks");
  sheet.PrintNextPage();
  TCell* broken = sheet.AddGraphic("Broken", new BrokenGraphic, 1, 4, 5, 2);
  EXPECT_THROW_MSG(sheet.PrintNextPage(), EPrinterError, "picture data lost");

  EXPECT_FALSE(sheet.DocumentOpen());
  EXPECT_FALSE(Printer()->Printing());
  EXPECT_FALSE(std::filesystem::exists(path)) << "the good first page is not delivered alone";
  EXPECT_EQ(log, (std::vector<std::string>{"BeforePrint", "DuringPrint (job open)"}));

  sheet.Remove(broken);
  sheet.BeginDocument("Works");
  sheet.PrintNextPage();
  sheet.EndDocument();
  EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(SheetPrintingTest, ASheetDestroyedWithAnOpenDocumentFreesThePrinter) {
  const std::string path = test::OutputDir() + "/abandoned-document.pdf";
  std::filesystem::remove(path);
  Printer()->SetTarget(ptPdf, path);
  {
    TMivora temporary(nullptr);
    temporary.AddText("A", "lost", 1, 1, 5, 2);
    temporary.BeginDocument("Abandoned");
    temporary.PrintNextPage();
  }
  EXPECT_FALSE(Printer()->Printing());
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(SheetPrintingTest, APdfDocumentHasOnePageForEachPrintedPage) {
  const std::string path = test::OutputDir() + "/three-pages.pdf";
  Printer()->SetTarget(ptPdf, path);
  TCell* line = sheet.AddText("Line", "", 1, 1, 12, 2);
  sheet.BeginDocument("Three pages");
  for (int page = 1; page <= 3; ++page) {
    line->SetText("Page number " + std::to_string(page));
    sheet.PrintNextPage();
  }
  sheet.EndDocument();

  EXPECT_NE(test::RunCommand("pdfinfo '" + path + "'").find("Pages:           3"), std::string::npos);
  for (int page = 1; page <= 3; ++page) {
    const std::string n = std::to_string(page);
    const std::string text = test::RunCommand("pdftotext -q -f " + n + " -l " + n + " '" + path + "' -");
    EXPECT_NE(text.find("Page number " + n), std::string::npos) << "page " << n << ": " << text;
  }
}

} // namespace
} // namespace mivora
