#include "Mivora.h"

#include "TextEncoding.h"

#include <algorithm>
#include <string_view>

namespace mivora {

TCell* TMivora::Select(const std::string& Patterns) {
  RemoveFromSelection(nullptr);
  // Items are split at each ";" and not trimmed; a ";" at the very end yields no
  // item, two in a row yield an empty one.
  std::string item;
  std::string_view rest = Patterns;
  while (!rest.empty()) {
    const size_t sep = rest.find(';');
    item.assign(rest.substr(0, sep));
    rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
    if (item.find('*') == std::string::npos) {
      // A plain name matches at most one cell, the one of that exact spelling:
      // the index answers without visiting every cell.
      const auto found = byName_.find(FoldCase(item));
      if (found != byName_.end() && GetCellName(found->second) == item)
        AddToSelection(found->second, false);
      continue;
    }
    for (const TEntry& entry : entries_)
      if (StringMatchCellName(item, entry.Cell.get())) AddToSelection(entry.Cell.get(), false);
  }
  return GetSelectedCell(0);
}

void TMivora::MoveCell(TCell* Cell, bool ToFront) {
  if (Cell != nullptr) {
    const int32_t index = IndexOf(Cell);
    if (index < 0) throw ECellError("Invalid cell");
    const auto at = entries_.begin() + index;
    if (ToFront) {
      std::rotate(at, at + 1, entries_.end());
      Renumber(static_cast<size_t>(index));
    } else {
      std::rotate(entries_.begin(), at, at + 1);
      Renumber(0);
    }
    return;
  }

  // The whole selection moves in one pass, to the order that moving each selected
  // cell in turn would give: toward the front the others keep their order and the
  // selected cells follow in selection order; toward the back the selected cells
  // come first in reverse selection order. Every selected cell is checked first, so
  // a stranger in the selection changes nothing.
  if (selection_.empty()) return;
  std::vector<size_t> picked;
  picked.reserve(selection_.size());
  for (const TCell* cell : selection_) {
    const int32_t index = IndexOf(cell);
    if (index < 0) throw ECellError("Invalid cell");
    picked.push_back(static_cast<size_t>(index));
  }

  std::vector<TEntry> reordered;
  reordered.reserve(entries_.size());
  auto takeSelected = [&](auto first, auto last) {
    for (auto it = first; it != last; ++it) reordered.push_back(std::move(entries_[*it]));
  };
  if (!ToFront) takeSelected(picked.rbegin(), picked.rend());
  for (TEntry& entry : entries_)
    if (entry.Cell != nullptr && selected_.count(entry.Cell.get()) == 0)
      reordered.push_back(std::move(entry));
  if (ToFront) takeSelected(picked.begin(), picked.end());

  entries_ = std::move(reordered);
  Renumber(0);
}

void TMivora::BringToFront(TCell* Cell) { MoveCell(Cell, true); }

void TMivora::SendToBack(TCell* Cell) { MoveCell(Cell, false); }

} // namespace mivora
