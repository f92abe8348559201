// Checking a sheet before it prints: what would spoil the page or waste paper.
#pragma once

#include "Mivora.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mivora {

// What a finding is about.
enum TFindingKind : uint8_t {
  fkTextOverflow,     // text does not fit its cell and is cut off
  fkOutsidePrintable, // a cell lies partly or wholly outside the printable area
  fkFontReplaced,     // a font family is not installed; another is drawn instead
  fkPictureEnlarged,  // a picture is enlarged so far that it prints coarsely
};

// One thing CheckSheet found. Message says what is wrong without the cell's name,
// for example "text does not fit: ...", in millimetres on the paper.
struct TFinding {
  TFindingKind Kind = fkTextOverflow;
  std::string Cell;    // the cell's name
  std::string Message;
};

struct TPreflightOptions {
  // A picture is reported when it prints larger than this many times its natural
  // size, its pixels taken at 96 per inch (as an SVG's are): 2 reports pictures
  // printed at fewer than 48 pixels per inch.
  double MaxEnlargement = 2.0;
  // The font families looked up so far, shared by every copy of these options:
  // a merge checks its sheet once a record, and asking the font configuration
  // costs more than measuring a page's texts, so each family is looked up once
  // for all the checks made with one set of options (no value: the family is
  // drawn as itself; else the family drawn instead, "" for none). Fonts added
  // after the first check are not seen by it: make the options after adding them.
  using TFontLookups = std::map<std::string, std::optional<std::string>>;
  std::shared_ptr<TFontLookups> FontsLookedUp = std::make_shared<TFontLookups>();
};

// The findings for every visible cell of Sheet as it would print now on the
// printer's page, in stacking order; a font family replaced by another is
// reported once, at the first cell that uses it. Measures text exactly as
// printing does; draws nothing.
std::vector<TFinding> CheckSheet(const TMivora& Sheet, const TPreflightOptions& Options = {});

// "cell \"Name\": message".
std::string DescribeFinding(const TFinding& Finding);

} // namespace mivora
