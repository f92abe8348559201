// Long texts in a small cell: time and peak memory of printing one 5 x 2 cm cell
// whose text grows from 1 KB to 1 MiB, wrapped, with and without shrink-to-fit,
// and turned upright. Each measurement runs in a process of its own so that its
// peak memory is its own.
//
//   text_layout_bench [OUT_DIR] [MAX_KB] [MODE] [MIN_KB]
//
// MODE is wrapped, wrapped+shrink, vertical+shrink or all (the default); sizes run
// from MIN_KB (default 1) up to MAX_KB (default 1024), four times larger each.
//
// Prints one line per measurement: mode, size in KB, wall-clock and processor
// seconds, the growth of peak resident memory in MB over a first print of a few
// bytes, and processor time and memory per KB of text. Processor time is the
// figure to read on a busy machine. Linear cost shows as flat per-KB figures.
#include "Mivora.h"
#include "Printer.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

using namespace mivora;

namespace {

// Words of varied length, a sentence break now and then, as notes fields have.
std::string LongText(size_t Bytes) {
  static const char* const kWords[] = {"terms", "and", "conditions", "apply", "to", "every",
                                       "order", "placed", "through", "the", "service", "unless",
                                       "otherwise", "agreed", "in", "writing", "by", "both",
                                       "parties."};
  std::string text;
  text.reserve(Bytes + 16);
  uint32_t state = 12345;
  while (text.size() < Bytes) {
    state = state * 1103515245u + 12345u;
    if (!text.empty()) text.push_back(' ');
    text += kWords[(state >> 16) % (sizeof(kWords) / sizeof(kWords[0]))];
  }
  text.resize(Bytes);
  return text;
}

double CpuSeconds(const rusage& Usage) {
  return static_cast<double>(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) +
         static_cast<double>(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e6;
}

enum class TMode { Wrapped, Shrunk, Upright };

const char* NameOf(TMode Mode) {
  switch (Mode) {
  case TMode::Wrapped: return "wrapped";
  case TMode::Shrunk: return "wrapped+shrink";
  case TMode::Upright: return "vertical+shrink";
  }
  return "?";
}

// Prints one cell of Bytes of text to a PDF; returns the seconds it took.
double PrintCell(const std::string& Path, TMode Mode, size_t Bytes) {
  const std::string text = LongText(Bytes);
  TPrinter* printer = Printer();
  printer->SetTarget(ptPdf, Path);
  printer->SetPaper(paA4);
  printer->SetResolution(600);
  const auto start = std::chrono::steady_clock::now();
  TMivora sheet(nullptr);
  sheet.SetFont("Arial", clBlack, -0.35f, 0);  // 10 points
  sheet.SetTextProperties(Mode != TMode::Wrapped, Mode != TMode::Upright);
  sheet.SetOrientation(Mode == TMode::Upright ? toVertical : toHorizontal);
  TCell* cell = sheet.Add("Notes", 2, 2, 5, 2);
  cell->SetText(text);
  sheet.Print("Long text");
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp";
  const size_t maxKb = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1024;
  const std::string only = argc > 3 ? argv[3] : "all";
  const size_t minKb = std::max<size_t>(1, argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 1);
  std::printf("%-16s %8s %9s %9s %9s %12s %12s\n", "mode", "KB", "seconds", "cpu s", "+peak MB",
              "cpu ms/KB", "+KB mem/KB");
  for (TMode mode : {TMode::Wrapped, TMode::Shrunk, TMode::Upright}) {
    if (only != "all" && only != NameOf(mode)) continue;
    for (size_t kb = minKb; kb <= maxKb; kb *= 4) {
      int pipeFds[2];
      if (pipe(pipeFds) != 0) return 1;
      const pid_t child = fork();
      if (child < 0) return 1;
      if (child == 0) {
        close(pipeFds[0]);
        double seconds = -1;
        rusage usage{};
        double baseline = 0;
        try {
          // Fonts and the printer are set up by a first small print: the figures
          // below are those of the text alone.
          PrintCell(dir + "/text_layout_bench.pdf", mode, 16);
          getrusage(RUSAGE_SELF, &usage);
          baseline = static_cast<double>(usage.ru_maxrss);
          seconds = PrintCell(dir + "/text_layout_bench.pdf", mode, kb * 1024);
        } catch (const std::exception& e) {
          std::fprintf(stderr, "%s\n", e.what());
        }
        const double cpuBefore = CpuSeconds(usage);
        getrusage(RUSAGE_SELF, &usage);
        const double figures[3] = {seconds, static_cast<double>(usage.ru_maxrss) - baseline,
                                   CpuSeconds(usage) - cpuBefore};
        const ssize_t written = write(pipeFds[1], figures, sizeof(figures));
        _exit(written == sizeof(figures) ? 0 : 1);
      }
      close(pipeFds[1]);
      double figures[3] = {-1, 0, 0};
      const ssize_t got = read(pipeFds[0], figures, sizeof(figures));
      close(pipeFds[0]);
      int status = 0;
      waitpid(child, &status, 0);
      if (got != sizeof(figures) || figures[0] < 0) {
        std::printf("%-16s %8zu failed\n", NameOf(mode), kb);
        continue;
      }
      const double peakMb = figures[1] / 1024.0;
      std::printf("%-16s %8zu %9.3f %9.3f %9.1f %12.3f %12.1f\n", NameOf(mode), kb, figures[0],
                  figures[2], peakMb, figures[2] * 1000.0 / static_cast<double>(kb),
                  figures[1] / static_cast<double>(kb));
      std::fflush(stdout);
    }
  }
  return 0;
}
