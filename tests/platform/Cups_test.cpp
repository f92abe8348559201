#include "Cups.h"

#include "Mivora.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace mivora {
namespace {

namespace fs = std::filesystem;

const std::string Script = std::string(MIVORA_SOURCE_DIR) + "/tests/tools/private-cupsd";

// A private CUPS server with one queue, TESTQ, whose file: device writes
// out/page.pdf. One per test program: ctest runs each test in its own process.
class Cups : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!fs::exists("/usr/sbin/cupsd")) return;
    char pattern[] = "/tmp/mivora-cups-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    base_ = pattern;
    const test::TCommandResult started = test::RunCommandWithStatus(Script + " start " + base_);
    if (started.ExitCode != 0) return;
    pid_ = started.Output.substr(0, started.Output.find('\n'));
    const std::string queue = Script + " queue " + base_ + " TESTQ " + base_ + "/out/page.pdf 2>/dev/null";
    if (test::RunCommandWithStatus(queue).ExitCode != 0) return;
    // Before the first call into libcups, which reads it once.
    setenv("CUPS_SERVER", (base_ + "/state/cups.sock").c_str(), 1);
    ready_ = true;
  }

  static void TearDownTestSuite() {
    if (!pid_.empty()) test::RunCommandWithStatus(Script + " stop " + base_ + " " + pid_);
    if (!base_.empty()) fs::remove_all(base_);
  }

  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "no private CUPS server (is cupsd installed?)";
  }

  static void Lp(const std::string& Command) {
    const std::string line = "CUPS_SERVER=" + base_ + "/state/cups.sock " + Command + " >/dev/null 2>&1";
    ASSERT_TRUE(test::RunCommandWithStatus(line).ExitCode == 0) << Command;
  }

  // A one-page PDF that says Hello.
  static std::string HelloPdf() {
    const std::string path = base_ + "/hello.pdf";
    std::ofstream(path) << "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                           "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                           "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]/Contents 4 0 R"
                           "/Resources<</Font<</F1 5 0 R>>>>>>endobj\n"
                           "4 0 obj<</Length 40>>stream\nBT /F1 24 Tf 100 700 Td (Hello) Tj ET\nendstream endobj\n"
                           "5 0 obj<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>endobj\n"
                           "trailer<</Root 1 0 R>>\n";
    return path;
  }

  static inline std::string base_;
  static inline std::string pid_;
  static inline bool ready_ = false;
};

TEST_F(Cups, ListsTheQueuesWithTheirPaperAndPrintableArea) {
  const std::vector<TCupsQueue> queues = CupsQueues();
  ASSERT_EQ(queues.size(), 1u);
  const TCupsQueue& q = queues[0];
  EXPECT_EQ(q.Name, "TESTQ");
  EXPECT_EQ(q.State, "idle");
  EXPECT_TRUE(q.Accepting);
  // The generic PDF driver's default paper is Letter with quarter-inch margins.
  EXPECT_NEAR(q.PaperWidthMm, 215.9, 0.01);
  EXPECT_NEAR(q.PaperHeightMm, 279.4, 0.01);
  EXPECT_GT(q.Margins.Left, 0);
  EXPECT_LT(q.Margins.Left + q.Margins.Right, q.PaperWidthMm);
}

TEST_F(Cups, FindsAQueueWhateverTheLetterCaseAndNamesTheOthersWhenMissing) {
  EXPECT_EQ(CupsQueue("testq").Name, "TESTQ");
  EXPECT_THROW_MSG(CupsQueue("Missing"), ECupsError,
                   "Printer queue \"Missing\" does not exist on the CUPS server at " + base_ +
                       "/state/cups.sock; the queues are TESTQ");
}

TEST_F(Cups, PrintsAFileAsATitledJobAndWaitsUntilItCompleted) {
  const int32_t job = CupsSubmit("TESTQ", HelloPdf(), "application/pdf", "Greeting");
  EXPECT_GT(job, 0);
  EXPECT_EQ(CupsWaitForJob("TESTQ", job, std::chrono::seconds(60)), cjCompleted);
  EXPECT_TRUE(fs::exists(base_ + "/out/page.pdf"));
  const std::string text = test::RunCommandWithStatus("pdftotext " + base_ + "/out/page.pdf -").Output;
  EXPECT_NE(text.find("Hello"), std::string::npos);
}

TEST_F(Cups, ThePrinterPrintsASheetToAQueueOnTheQueuesPaper) {
  test::TPrinterGuard restore;
  Printer()->SetTarget("cups:testq");
  EXPECT_EQ(Printer()->TargetPath(), "TESTQ");
  const TCupsQueue queue = CupsQueue("TESTQ");
  EXPECT_DOUBLE_EQ(Printer()->PaperWidthMm(), queue.PaperWidthMm);
  EXPECT_EQ(Printer()->Margins(), queue.Margins);

  TMivora sheet(nullptr);
  sheet.AddText("Greeting", "Printed through the queue", 2, 2, 15, 2);
  sheet.Print("Queue job");
  EXPECT_GT(Printer()->CupsJobId(), 0);
  EXPECT_TRUE(Printer()->OutputFiles().empty());
  const std::string text = test::RunCommandWithStatus("pdftotext " + base_ + "/out/page.pdf -").Output;
  EXPECT_NE(text.find("Printed through the queue"), std::string::npos);

  Lp("cupsdisable TESTQ");
  EXPECT_THROW_MSG(sheet.Print("Stopped job"), ECupsError,
                   "Printer queue \"TESTQ\" is stopped (paused); the job \"Stopped job\" was not sent");
  EXPECT_FALSE(Printer()->Printing());
  Lp("cupsenable TESTQ");
  EXPECT_THROW(Printer()->SetTarget("cups:NOSUCHQ"), ECupsError);
}

TEST_F(Cups, RefusesToSendToAQueueThatRejectsOrIsStopped) {
  Lp("cupsreject -r drill TESTQ");
  EXPECT_THROW_MSG(CupsSubmit("TESTQ", HelloPdf(), "application/pdf", "Greeting"), ECupsError,
                   "Printer queue \"TESTQ\" is not accepting jobs (drill); the job \"Greeting\" was not sent");
  Lp("cupsaccept TESTQ");
  Lp("cupsdisable TESTQ");
  EXPECT_THROW_MSG(CupsSubmit("TESTQ", HelloPdf(), "application/pdf", "Greeting"), ECupsError,
                   "Printer queue \"TESTQ\" is stopped (paused); the job \"Greeting\" was not sent");
  Lp("cupsenable TESTQ");
}

TEST_F(Cups, ReportsAJobThatWasCancelled) {
  // A held job waits until it is cancelled; waiting then reports it.
  Lp("lp -d TESTQ -H hold " + HelloPdf());
  const std::string jobs =
      test::RunCommandWithStatus("CUPS_SERVER=" + base_ + "/state/cups.sock lpstat -o TESTQ").Output;
  const int32_t job = std::atoi(jobs.substr(jobs.find('-') + 1).c_str());
  ASSERT_GT(job, 0) << jobs;
  Lp("cancel " + std::to_string(job));
  EXPECT_THROW(CupsWaitForJob("TESTQ", job, std::chrono::seconds(10)), ECupsError);
}

} // namespace
} // namespace mivora
