// The warnings of `mivora check` and `mivora print`: what would spoil the page,
// found before it prints, as messages naming the layout, the cell, the command
// that made the cell and, in a merge, the record.
#pragma once

#include "Layout.h"
#include "Preflight.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace mivora::tool {

class TWarnings {
public:
  // Label names the layout; CommandOf gives the command that made a cell, such
  // as "commands[3] (AddText \"Title\")", or "" when none is known.
  TWarnings(std::string Label, TPreflightOptions Options,
            std::function<std::string(const std::string& Cell)> CommandOf);

  // Checks Sheet as it stands. Record names the data record filled in ("" when
  // there is none). A warning given before is not given again; one cell's text
  // that does not fit is named for at most a few records, then counted.
  void Check(const TMivora& Sheet, const std::string& Record = {});
  // The warnings so far, the counts of those left out included.
  std::vector<std::string> Messages() const;
  bool Empty() const noexcept { return messages_.empty(); }

private:
  std::string label_;
  TPreflightOptions options_;
  std::function<std::string(const std::string& Cell)> commandOf_;
  std::vector<std::string> messages_;
  std::set<std::tuple<int, std::string, std::string>> seen_;  // kind, cell, message
  std::map<std::pair<int, std::string>, size_t> perCell_;     // warnings per kind and cell
  std::map<std::pair<int, std::string>, size_t> leftOut_;
};

// The command of Layout that made the cell named Cell, as Describe gives it
// ("commands[3] (AddText \"Title\")"): the first that names the cell, else the
// last cut or split whose base name begins its name; "" when none did.
std::string CommandOfCell(const TLayout& Layout, const std::string& Cell);

} // namespace mivora::tool
