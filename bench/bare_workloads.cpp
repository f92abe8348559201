// The benchmark workloads drawn directly with Cairo and Pango: the floor that
// the library is measured against. Written the way a careful programmer would
// draw these pages by hand (one Pango layout reused for every text, word
// wrapping and centring done by Pango); it uses nothing of the library.
//
//   bare_workloads w1 OUT.pdf [PAGES]   label sheets, PAGES pages (default 200)
//   bare_workloads w2 OUT.pdf [SIDE]    one A3 landscape page of SIDE x SIDE cells
//   bare_workloads w3 OUT.png           one label sheet as a 300 dpi PNG
//   bare_workloads hello OUT.pdf        "Hello, world" on an A4 page: what the
//                                       smallest print costs with no library
//   bare_workloads png IN.png OUT.png [RUNS]
//                                       IN's pixels written again with
//                                       cairo_surface_write_to_png, RUNS times
//
// Prints "seconds <s>" (the whole drawing and writing) and, for w3 and png,
// "encode_seconds <s>" (cairo_surface_write_to_png alone; the median for png).
#include "WorkloadData.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point Start) {
  return std::chrono::duration<double>(Clock::now() - Start).count();
}

void Check(cairo_status_t Status, const char* What) {
  if (Status != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "bare_workloads: %s: %s\n", What, cairo_status_to_string(Status));
    std::exit(1);
  }
}

void SetRgb(cairo_t* Cairo, uint32_t Rgb) {
  cairo_set_source_rgb(Cairo, ((Rgb >> 16) & 0xFF) / 255.0, ((Rgb >> 8) & 0xFF) / 255.0,
                       (Rgb & 0xFF) / 255.0);
}

// A layout for Cairo's current transformation, in Arial (Liberation Sans) of
// EmPixels, with the text settings the library uses: unhinted outlines and
// metrics, so that text measures the same on every surface, and fractional glyph
// positions (Pango rounds them to whole device units unless told otherwise,
// which costs time and puts a position adjustment between most glyphs in a PDF).
// The resolution is the library's too, although with an absolute size it
// changes nothing.
PangoLayout* MakeLayout(cairo_t* Cairo, double EmPixels) {
  PangoLayout* layout = pango_cairo_create_layout(Cairo);
  PangoContext* context = pango_layout_get_context(layout);
  pango_cairo_context_set_resolution(context, 72.0);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context, FALSE);
  pango_layout_context_changed(layout);
  PangoFontDescription* font = pango_font_description_from_string("Arial");
  pango_font_description_set_absolute_size(font, EmPixels * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
  pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
  return layout;
}

// Text centred in the box (X, Y, W, H), word-wrapped to its width less a small margin.
void ShowCentred(cairo_t* Cairo, PangoLayout* Layout, const std::string& Text, double X, double Y,
                 double W, double H, double Margin) {
  const double width = std::max(1.0, W - 2 * Margin);
  pango_layout_set_width(Layout, static_cast<int>(width * PANGO_SCALE));
  pango_layout_set_text(Layout, Text.data(), static_cast<int>(Text.size()));
  int textW = 0, textH = 0;
  pango_layout_get_size(Layout, &textW, &textH);
  cairo_move_to(Cairo, X + Margin, Y + (H - static_cast<double>(textH) / PANGO_SCALE) / 2);
  pango_cairo_show_layout(Cairo, Layout);
}

// One label sheet on Cairo, whose user space is 300 dpi device pixels.
void DrawLabelPage(cairo_t* Cairo, PangoLayout* Layout, int64_t Page) {
  const double pageW = bench::Pixels(bench::A4WidthMm, bench::LabelDpi);
  const double pageH = bench::Pixels(bench::A4HeightMm, bench::LabelDpi);
  const double margin = bench::LabelFontPoints / 72.0 * bench::LabelDpi / 4;
  for (int r = 0; r < bench::LabelRows; ++r) {
    for (int c = 0; c < bench::LabelColumns; ++c) {
      const double x = bench::Division(pageW, c, bench::LabelColumns);
      const double y = bench::Division(pageH, r, bench::LabelRows);
      const double w = bench::Division(pageW, c + 1, bench::LabelColumns) - x;
      const double h = bench::Division(pageH, r + 1, bench::LabelRows) - y;
      SetRgb(Cairo, bench::LabelFillRgb);
      cairo_rectangle(Cairo, x, y, w, h);
      cairo_fill(Cairo);
      SetRgb(Cairo, 0x000000);
      cairo_rectangle(Cairo, x + 0.5, y + 0.5, w - 1, h - 1);
      cairo_stroke(Cairo);
      const int64_t k = Page * bench::LabelsPerPage + r * bench::LabelColumns + c;
      ShowCentred(Cairo, Layout, bench::LabelText(k), x, y, w, h, margin);
    }
  }
}

// A PDF of paper WidthMm x HeightMm whose user space is pixels at Dpi, with a
// layout for a font of FontPoints; Close finishes and checks the file.
struct TPdf {
  TPdf(const char* Path, double WidthMm, double HeightMm, int Dpi, double FontPoints) : path(Path) {
    surface = cairo_pdf_surface_create(Path, WidthMm / 25.4 * 72, HeightMm / 25.4 * 72);
    Check(cairo_surface_status(surface), Path);
    cairo = cairo_create(surface);
    cairo_scale(cairo, 72.0 / Dpi, 72.0 / Dpi);
    cairo_set_line_width(cairo, 1.0);
    layout = MakeLayout(cairo, FontPoints / 72.0 * Dpi);
  }
  int Close() {
    g_object_unref(layout);
    cairo_destroy(cairo);
    cairo_surface_finish(surface);
    Check(cairo_surface_status(surface), path);
    cairo_surface_destroy(surface);
    return 0;
  }
  const char* path;
  cairo_surface_t* surface;
  cairo_t* cairo;
  PangoLayout* layout;
};

int LabelsPdf(const char* Path, int64_t Pages) {
  TPdf pdf(Path, bench::A4WidthMm, bench::A4HeightMm, bench::LabelDpi, bench::LabelFontPoints);
  for (int64_t page = 0; page < Pages; ++page) {
    DrawLabelPage(pdf.cairo, pdf.layout, page);
    cairo_show_page(pdf.cairo);
  }
  return pdf.Close();
}

int GridPdf(const char* Path, int Side) {
  TPdf pdf(Path, bench::A3WidthMm, bench::A3HeightMm, bench::GridDpi, bench::GridFontPoints);
  cairo_t* cairo = pdf.cairo;
  PangoLayout* layout = pdf.layout;
  const double pageW = bench::Pixels(bench::A3WidthMm, bench::GridDpi);
  const double pageH = bench::Pixels(bench::A3HeightMm, bench::GridDpi);
  const double margin = bench::GridFontPoints / 72.0 * bench::GridDpi / 4;
  for (int r = 0; r < Side; ++r) {
    for (int c = 0; c < Side; ++c) {
      const double x = bench::Division(pageW, c, Side);
      const double y = bench::Division(pageH, r, Side);
      const double w = bench::Division(pageW, c + 1, Side) - x;
      const double h = bench::Division(pageH, r + 1, Side) - y;
      SetRgb(cairo, 0x000000);
      cairo_rectangle(cairo, x + 0.5, y + 0.5, w - 1, h - 1);
      cairo_stroke(cairo);
      ShowCentred(cairo, layout, bench::GridText(int64_t{r} * Side + c), x, y, w, h, margin);
    }
  }
  cairo_show_page(cairo);
  return pdf.Close();
}

// The page as pixels: fills and lines unsmoothed on whole pixels, text smoothed.
int LabelsPng(const char* Path) {
  const int width = static_cast<int>(bench::Pixels(bench::A4WidthMm, bench::LabelDpi));
  const int height = static_cast<int>(bench::Pixels(bench::A4HeightMm, bench::LabelDpi));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  Check(cairo_surface_status(surface), "image surface");
  cairo_t* cairo = cairo_create(surface);
  SetRgb(cairo, 0xFFFFFF);
  cairo_paint(cairo);
  cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_width(cairo, 1.0);
  PangoLayout* layout = MakeLayout(cairo, bench::LabelFontPoints / 72.0 * bench::LabelDpi);
  DrawLabelPage(cairo, layout, 0);
  g_object_unref(layout);
  cairo_destroy(cairo);
  const auto start = Clock::now();
  Check(cairo_surface_write_to_png(surface, Path), Path);
  std::printf("encode_seconds %.6f\n", Since(start));
  cairo_surface_destroy(surface);
  return 0;
}

int Reencode(const char* In, const char* Out, int Runs) {
  cairo_surface_t* surface = cairo_image_surface_create_from_png(In);
  Check(cairo_surface_status(surface), In);
  std::vector<double> times;
  for (int i = 0; i < Runs; ++i) {
    const auto start = Clock::now();
    Check(cairo_surface_write_to_png(surface, Out), Out);
    times.push_back(Since(start));
  }
  std::sort(times.begin(), times.end());
  std::printf("encode_seconds %.6f\n", times[times.size() / 2]);
  cairo_surface_destroy(surface);
  return 0;
}

// One short text on an A4 page, the floor under a trivial print: the process's
// start-up, Fontconfig reading its configuration, and one line of text.
int HelloPdf(const char* Path) {
  cairo_surface_t* surface = cairo_pdf_surface_create(Path, 595.28, 841.89);
  cairo_t* cairo = cairo_create(surface);
  PangoLayout* layout = MakeLayout(cairo, 12.0);
  pango_layout_set_text(layout, "Hello, world", -1);
  cairo_move_to(cairo, 56.7, 56.7);
  pango_cairo_show_layout(cairo, layout);
  g_object_unref(layout);
  cairo_destroy(cairo);
  cairo_surface_finish(surface);
  Check(cairo_surface_status(surface), Path);
  cairo_surface_destroy(surface);
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: bare_workloads w1 OUT.pdf [PAGES] | w2 OUT.pdf [SIDE] | w3 OUT.png | hello OUT.pdf | "
               "png IN.png OUT.png [RUNS]\n");
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string workload = argv[1];
  const auto start = Clock::now();
  int status = 0;
  if (workload == "w1") {
    status = LabelsPdf(argv[2], argc > 3 ? std::atoll(argv[3]) : 200);
  } else if (workload == "w2") {
    status = GridPdf(argv[2], argc > 3 ? std::atoi(argv[3]) : bench::GridSide);
  } else if (workload == "w3") {
    status = LabelsPng(argv[2]);
  } else if (workload == "hello") {
    status = HelloPdf(argv[2]);
  } else if (workload == "png" && argc > 3) {
    status = Reencode(argv[2], argv[3], argc > 4 ? std::max(1, std::atoi(argv[4])) : 5);
  } else {
    return Usage();
  }
  std::printf("seconds %.6f\n", Since(start));
  return status;
}
