#include "Cups.h"

#include "Mivora.h"
#include "PrinterFixture.h"
#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

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
    // OFFICE: Letter, A4 and 4 x 6 in, two-sided printing and two trays.
    const std::string office = Script + " queue " + base_ + " OFFICE " + base_ + "/out/office.pdf " +
                               MIVORA_SOURCE_DIR + "/tests/data/test-printer.ppd";
    if (test::RunCommandWithStatus(office).ExitCode != 0) return;
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

  // What the server recorded for the job: "copies (integer) = 2" lines.
  static std::string JobAttributes(int32_t Job) {
    std::string socket = base_ + "/state/cups.sock";
    std::string encoded;
    for (char c : socket) encoded += c == '/' ? std::string("%2F") : std::string(1, c);
    return test::RunCommandWithStatus("ipptool -tv ipp://" + encoded + "/jobs/" + std::to_string(Job) +
                                      " get-job-attributes.test")
        .Output;
  }

  static inline std::string base_;
  static inline std::string pid_;
  static inline bool ready_ = false;
};

TEST_F(Cups, ListsTheQueuesWithTheirPaperAndPrintableArea) {
  const std::vector<TCupsQueue> queues = CupsQueues();
  ASSERT_EQ(queues.size(), 2u);
  EXPECT_EQ(queues[0].Name, "OFFICE");
  const TCupsQueue& q = queues[1];
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
                       "/state/cups.sock; the queues are OFFICE, TESTQ");
}

TEST_F(Cups, PrintsAFileAsATitledJobAndWaitsUntilItCompleted) {
  const int32_t job = CupsSubmit("TESTQ", HelloPdf(), "application/pdf", "Greeting");
  EXPECT_GT(job, 0);
  EXPECT_EQ(CupsWaitForJob("TESTQ", job, std::chrono::seconds(60)), cjCompleted);
  EXPECT_TRUE(fs::exists(base_ + "/out/page.pdf"));
  const std::string text = test::RunCommandWithStatus("pdftotext " + base_ + "/out/page.pdf -").Output;
  EXPECT_NE(text.find("Hello"), std::string::npos);
}

TEST_F(Cups, DescribesTheSizesSidesTraysAndOptionsOfAQueue) {
  const TCupsQueue q = CupsQueue("office");
  ASSERT_EQ(q.MediaSizes.size(), 3u);
  const auto size = [&](const std::string& Name) {
    for (const TCupsMedia& m : q.MediaSizes)
      if (m.Name == Name) return m;
    ADD_FAILURE() << "no size " << Name;
    return TCupsMedia{};
  };
  const TCupsMedia label = size("na_index-4x6_4x6in");
  EXPECT_NEAR(label.WidthMm, 101.6, 0.01);
  EXPECT_NEAR(label.HeightMm, 152.4, 0.01);
  EXPECT_EQ(label.Margins, (TPrinterMargins{3.18, 3.18, 3.18, 3.18}));  // 9 pt in the PPD
  EXPECT_EQ(size("iso_a4_210x297mm").Margins, (TPrinterMargins{6.35, 12.7, 6.35, 12.7}));
  EXPECT_EQ(q.Sides, (std::vector<std::string>{"one-sided", "two-sided-long-edge", "two-sided-short-edge"}));
  EXPECT_EQ(q.MediaSources, (std::vector<std::string>{"tray-1", "tray-2"}));
  EXPECT_EQ(q.MaxCopies, 9999);
  EXPECT_EQ(q.OptionChoices.at("output-bin"), std::vector<std::string>{"face-down"});
}

TEST_F(Cups, ThePrinterAsksTheQueueForItsPaperAndTakesThePrintableAreaOfThatSize) {
  test::TPrinterGuard restore;
  Printer()->SetPaper(paA4);
  Printer()->SetTarget("cups:testq");
  EXPECT_EQ(Printer()->TargetPath(), "TESTQ");
  // The paper stays A4, which the queue has; its margins are the queue's for A4.
  EXPECT_EQ(Printer()->Paper(), paA4);
  EXPECT_DOUBLE_EQ(Printer()->PaperWidthMm(), 210);
  EXPECT_EQ(Printer()->Margins(), (TPrinterMargins{6.35, 12.7, 6.35, 12.7}));

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

TEST_F(Cups, ThePrintersJobSettingsReachTheJobAndAPaperTheQueueLacksIsRefusedBeforeSending) {
  test::TPrinterGuard restore;
  Printer()->SetPaperSize(101.6, 152.4);
  Printer()->SetMargins(TPrinterMargins{5, 1, 1, 1});
  TPrintJobSettings settings;
  settings.Copies = 2;
  settings.Sides = "two-sided-short-edge";
  settings.Collate = true;
  settings.MediaSource = "tray-2";
  settings.Options = {"print-color-mode=monochrome"};
  Printer()->SetJobSettings(settings);
  Printer()->SetTarget("cups:OFFICE");
  // The wider margin asked for stays; the others become the queue's.
  EXPECT_EQ(Printer()->Margins(), (TPrinterMargins{5, 3.18, 3.18, 3.18}));

  TMivora sheet(nullptr);
  sheet.AddText("To", "Label through the queue", 0, 0, 8, 1);
  sheet.Print("Label job");
  const std::string recorded = JobAttributes(Printer()->CupsJobId());
  for (const char* expected : {"copies (integer) = 2", "sides (keyword) = two-sided-short-edge",
                               "collate (boolean) = true", "media-source (keyword) = tray-2",
                               "media (keyword) = na_index-4x6_4x6in", "print-color-mode (keyword) = monochrome"})
    EXPECT_NE(recorded.find(expected), std::string::npos) << expected << " in\n" << recorded;
  EXPECT_NE(test::RunCommandWithStatus("pdfinfo " + base_ + "/out/office.pdf").Output.find("288 x 432"),
            std::string::npos);

  // A5 is not one of OFFICE's sizes: nothing is sent, no job stays open.
  Printer()->SetPaperSize(148, 210);
  EXPECT_THROW_MSG(sheet.Print("A5 job"), ECupsPaperUnsupported,
                   "Printer queue \"OFFICE\" has no paper of 148 x 210 mm; its sizes are na_index-4x6_4x6in "
                   "(101.6 x 152.4 mm), iso_a4_210x297mm (209.9 x 297.04 mm), na_letter_8.5x11in (215.9 x 279.4 mm)");
  EXPECT_FALSE(Printer()->Printing());
  // Unless the job takes the queue's default paper.
  settings.QueuePaper = true;
  Printer()->SetJobSettings(settings);
  EXPECT_DOUBLE_EQ(Printer()->PaperWidthMm(), 215.9);
  Printer()->SetPaperSize(101.6, 152.4);
  settings = TPrintJobSettings{};
  settings.MediaSource = "tray-7";
  Printer()->SetJobSettings(settings);
  EXPECT_THROW_MSG(sheet.Print("Tray job"), ECupsUnsupported,
                   "Printer queue \"OFFICE\" has no paper source (tray) \"tray-7\"; its sources are tray-1, tray-2");
  Printer()->SetJobSettings(TPrintJobSettings{});
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

// A queue as the server would describe it, for the choices made without one.
TCupsQueue OfficeQueue() {
  TCupsQueue q;
  q.Name = "OFFICE";
  q.Media = "na_letter_8.5x11in";
  q.PaperWidthMm = 215.9;
  q.PaperHeightMm = 279.4;
  q.Margins = TPrinterMargins{6.35, 12.7, 6.35, 12.7};
  q.MediaSizes = {{"na_index-4x6_4x6in", 101.6, 152.4, {3.18, 3.18, 3.18, 3.18}},
                  {"iso_a4_210x297mm", 209.9, 297.04, q.Margins},
                  {"na_letter_8.5x11in", 215.9, 279.4, q.Margins}};
  q.Sides = {"one-sided", "two-sided-long-edge"};
  q.MediaSources = {"tray-1", "tray-2"};
  q.MaxCopies = 99;
  q.OptionChoices["output-bin"] = {"face-down"};
  return q;
}

TEST(CupsMedia, MatchesThePageToASizeOfTheQueueEitherWayRoundOrByAnyStandardName) {
  const TCupsQueue q = OfficeQueue();
  const TPrintJobSettings none;
  EXPECT_EQ(CupsChooseMedia(q, none, 210, 297).Name, "iso_a4_210x297mm");     // within half a millimetre
  EXPECT_EQ(CupsChooseMedia(q, none, 152.4, 101.6).Name, "na_index-4x6_4x6in");  // lying across
  TPrintJobSettings named;
  for (const char* name : {"A4", "a4", "iso_a4_210x297mm", "ISO_A4_210X297MM"}) {
    named.Media = name;
    EXPECT_EQ(CupsChooseMedia(q, named, 148, 210).Name, "iso_a4_210x297mm") << name;
  }
  for (const char* name : {"4x6", "na_index-4x6_4x6in"}) {
    named.Media = name;
    EXPECT_EQ(CupsChooseMedia(q, named, 148, 210).Name, "na_index-4x6_4x6in") << name;
  }
  TPrintJobSettings queuePaper;
  queuePaper.QueuePaper = true;
  const TCupsMedia letter = CupsChooseMedia(q, queuePaper, 148, 210);
  EXPECT_EQ(letter.Name, "na_letter_8.5x11in");
  EXPECT_EQ(letter.Margins, q.Margins);
}

TEST(CupsMedia, RefusesAPaperTheQueueLacksNamingTheSizesItHas) {
  TCupsQueue q = OfficeQueue();
  const std::string sizes = "; its sizes are na_index-4x6_4x6in (101.6 x 152.4 mm), iso_a4_210x297mm "
                            "(209.9 x 297.04 mm), na_letter_8.5x11in (215.9 x 279.4 mm)";
  EXPECT_THROW_MSG(CupsChooseMedia(q, {}, 148, 210), ECupsPaperUnsupported,
                   "Printer queue \"OFFICE\" has no paper of 148 x 210 mm" + sizes);
  EXPECT_THROW_MSG(CupsChooseMedia(q, {}, 211, 297), ECupsPaperUnsupported,
                   "Printer queue \"OFFICE\" has no paper of 211 x 297 mm" + sizes);
  TPrintJobSettings named;
  named.Media = "A3";
  EXPECT_THROW_MSG(CupsChooseMedia(q, named, 210, 297), ECupsPaperUnsupported,
                   "Printer queue \"OFFICE\" has no paper \"A3\"" + sizes);
  // A queue that takes sizes of the job's own prints the page's.
  q.CustomMinWidthMm = q.CustomMinHeightMm = 50;
  q.CustomMaxWidthMm = 220;
  q.CustomMaxHeightMm = 600;
  q.CustomMargins = TPrinterMargins{1, 2, 3, 4};
  const TCupsMedia custom = CupsChooseMedia(q, {}, 148, 210);
  EXPECT_EQ(custom.Name, "custom_148x210mm_148x210mm");
  EXPECT_EQ(custom.Margins, q.CustomMargins);
  EXPECT_EQ(CupsChooseMedia(q, {}, 500, 100).Name, "custom_100x500mm_100x500mm");  // lying across
  EXPECT_THROW(CupsChooseMedia(q, {}, 300, 700), ECupsPaperUnsupported);
}

TEST(CupsJobSettings, RefusesWhatTheQueueDoesNotOfferNamingWhatItDoes) {
  const TCupsQueue q = OfficeQueue();
  TPrintJobSettings s;
  s.Copies = 99;
  s.Sides = "two-sided-long-edge";
  s.MediaSource = "tray-2";
  s.Options = {"output-bin=face-down", "print-quality=5 fit-to-page"};
  EXPECT_NO_THROW(CupsCheckJobSettings(q, s));  // options the queue does not describe pass on
  const auto refused = [&](TPrintJobSettings Bad, const std::string& Message) {
    EXPECT_THROW_MSG(CupsCheckJobSettings(q, Bad), ECupsUnsupported, "Printer queue \"OFFICE\" " + Message);
  };
  TPrintJobSettings bad = s;
  bad.Copies = 100;
  refused(bad, "cannot print 100 copies; it prints 1 to 99");
  bad = s;
  bad.Sides = "two-sided-short-edge";
  refused(bad, "does not print sides \"two-sided-short-edge\"; it prints one-sided, two-sided-long-edge");
  bad = s;
  bad.MediaSource = "manual";
  refused(bad, "has no paper source (tray) \"manual\"; its sources are tray-1, tray-2");
  bad = s;
  bad.Options = {"output-bin=face-up"};
  refused(bad, "does not take output-bin \"face-up\"; it takes face-down");
  bad = s;
  bad.Options = {"copies=3"};
  EXPECT_THROW_MSG(CupsCheckJobSettings(q, bad), EPrinterError,
                   "Printer queue \"OFFICE\": job option \"copies=3\" has a setting of its own (copies, sides, "
                   "collate, media, media-source); use that");
}

TEST(CupsJobSettings, BecomeTheOptionsLpWouldSend) {
  TPrintJobSettings s;
  EXPECT_EQ(CupsJobOptions(s, "iso_a4_210x297mm"),
            (std::vector<std::pair<std::string, std::string>>{{"media", "iso_a4_210x297mm"}}));
  s.Copies = 3;
  s.Sides = "two-sided-long-edge";
  s.Collate = true;
  s.MediaSource = "tray-2";
  s.Options = {"print-color-mode=monochrome job-hold-until=indefinite"};
  EXPECT_EQ(CupsJobOptions(s, ""), (std::vector<std::pair<std::string, std::string>>{
                                       {"copies", "3"},
                                       {"sides", "two-sided-long-edge"},
                                       {"collate", "true"},
                                       {"media-source", "tray-2"},
                                       {"job-hold-until", "indefinite"},  // libcups sorts them
                                       {"print-color-mode", "monochrome"}}));
}

TEST(CupsServer, ThatIsNotRunningIsNamedWithHowToChooseAnother) {
  // libcups reads CUPS_SERVER once per thread; a thread of its own sees this one.
  std::string message;
  const char* before = std::getenv("CUPS_SERVER");
  const std::string saved = before != nullptr ? before : "";
  std::thread([&] {
    setenv("CUPS_SERVER", "/nonexistent/cups.sock", 1);
    try {
      CupsQueues(std::chrono::seconds(2));
    } catch (const ECupsError& error) {
      message = error.what();
    }
  }).join();
  if (before != nullptr) setenv("CUPS_SERVER", saved.c_str(), 1);
  else unsetenv("CUPS_SERVER");
  EXPECT_EQ(message, "Cannot reach the CUPS server at /nonexistent/cups.sock (no such socket). Is it running? "
                     "Start it (cupsd), or name a running server with CUPS_SERVER (a host, host:port or socket "
                     "path) or with ServerName in ~/.cups/client.conf or /etc/cups/client.conf");
}

} // namespace
} // namespace mivora
