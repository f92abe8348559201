#include "Mivora.h"

#include "Application.h"
#include "Picture.h"
#include "RichEdit.h"
#include "TextEncoding.h"

#include <algorithm>

namespace mivora {

namespace {

// Room for Extra more elements, growing geometrically so that repeated calls stay
// linear overall; afterwards push_back cannot fail.
template <typename T>
void ReserveMore(std::vector<T>& List, size_t Extra) {
  if (List.capacity() - List.size() >= Extra) return;
  List.reserve(std::max(List.size() + Extra, List.capacity() * 2));
}

[[noreturn]] void RaiseInvalidCell() { throw ECellError("Invalid cell"); }

[[noreturn]] void RaiseExists(const std::string& Name) {
  throw ECellError("Cell \"" + Name + "\" already exists");
}

} // namespace

TMivora::TMivora(TComponent* AOwner) : TComponent(AOwner) {
  measurement_ = mtCentimeters;
  PrintEdgesLast = true;
  RestoreDefaultSettings();
}

TMivora::~TMivora() {
  // A document the sheet left open is discarded rather than left on the printer.
  try {
    AbortDocument();
  } catch (...) {
  }
}

int32_t TMivora::IndexOf(const TCell* Cell) const noexcept {
  if (Cell == nullptr || Cell->sheet_ != this) return -1;
  const int32_t i = Cell->listIndex_;
  if (i < 0 || i >= Count() || entries_[static_cast<size_t>(i)].Cell.get() != Cell) return -1;
  return i;
}

void TMivora::Renumber(size_t From) noexcept {
  for (size_t i = From; i < entries_.size(); ++i)
    entries_[i].Cell->listIndex_ = static_cast<int32_t>(i);
}

// Takes the cell at Index out of the selection and the list. Everything that can
// fail (allocation) happens before anything changes.
void TMivora::Depart(size_t Index) {
  TEntry& entry = entries_[Index];
  const std::string key = FoldCase(entry.Name);
  ReserveMore(departed_, 1);
  RemoveFromSelection(entry.Cell.get());
  byName_.erase(key);
  entry.Cell->listIndex_ = -1;
  departed_.push_back(std::move(entry.Cell));
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(Index));
  Renumber(Index);
}

TCell* TMivora::AddCell(const std::string& Name, float Left, float Top, float Width,
                        float Height) {
  std::string key = FoldCase(Name);
  if (byName_.count(key) != 0) RaiseExists(Name);

  TEntry entry{Name, std::make_unique<TCell>(this)};
  TCell* cell = entry.Cell.get();
  ReserveMore(entries_, 1);
  const auto named = byName_.emplace(std::move(key), cell).first;
  cell->listIndex_ = Count();
  entries_.push_back(std::move(entry)); // cannot fail after the reserve
  try {
    AssignCurrentSettings(cell);
    cell->CheckBounds = false;
    cell->SetLeft(Left);
    cell->SetTop(Top);
    cell->CheckBounds = true;
    cell->SetWidth(Width);
    cell->SetHeight(Height);
  } catch (...) {
    // A rejected size leaves the sheet exactly as it was: no cell, name free.
    byName_.erase(named);
    entries_.pop_back();
    throw;
  }

  if (OnAddCell) {
    try {
      OnAddCell(this, cell);
    } catch (...) {
      Application->HandleException(this);
    }
  }
  return cell;
}

TCell* TMivora::Add(const std::string& Name, float Left, float Top, float Width, float Height) {
  TCell* cell = AddCell(Name, Left, Top, Width, Height);
  AddToSelection(cell, true);
  return cell;
}

TCell* TMivora::AddText(const std::string& Name, const std::string& Text, float Left, float Top,
                        float Width, float Height) {
  TCell* cell = Add(Name, Left, Top, Width, Height);
  cell->SetText(Text);
  return cell;
}

TCell* TMivora::AddGraphic(const std::string& Name, TGraphic* Graphic, float Left, float Top,
                           float Width, float Height) {
  std::unique_ptr<TGraphic> owned(Graphic); // destroyed if no cell takes it
  TCell* cell = Add(Name, Left, Top, Width, Height);
  try {
    cell->SetGraphic(owned.release());
  } catch (...) {
    cell->FreeObject();
    throw;
  }
  return cell;
}

TCell* TMivora::AddRichEdit(const std::string& Name, TRichEdit* RichEdit, float Left, float Top,
                            float Width, float Height) {
  std::unique_ptr<TRichEdit> owned(RichEdit);
  TCell* cell = Add(Name, Left, Top, Width, Height);
  try {
    cell->SetRichEdit(owned.release());
  } catch (...) {
    cell->FreeObject();
    throw;
  }
  return cell;
}

TCell* TMivora::GetCell(int32_t Index) const {
  if (Index < 0) throw ECellError("Cell index out of bounds (" + std::to_string(Index) + ")");
  if (Index >= Count()) return nullptr;
  return entries_[static_cast<size_t>(Index)].Cell.get();
}

const std::string& TMivora::GetCellName(const TCell* Cell) const {
  const int32_t i = IndexOf(Cell);
  if (i < 0) RaiseInvalidCell();
  return entries_[static_cast<size_t>(i)].Name;
}

TCell* TMivora::Find(const std::string& Name) const {
  auto it = byName_.find(FoldCase(Name));
  if (it == byName_.end()) throw ECellError("Cell \"" + Name + "\" not found");
  return it->second;
}

void TMivora::ChangeCellName(TCell* Cell, const std::string& NewName) {
  if (NewName.empty()) return;
  if (Cell == nullptr) RaiseInvalidCell();
  if (NewName == Cell->GetName()) return;
  std::string key = FoldCase(NewName);
  if (byName_.count(key) != 0) RaiseExists(NewName);
  const int32_t i = IndexOf(Cell);
  if (i < 0) return;
  TEntry& entry = entries_[static_cast<size_t>(i)];
  // Both names are ready before the index changes, so a failure changes nothing.
  const std::string oldKey = FoldCase(entry.Name);
  std::string newName = NewName;
  byName_.emplace(std::move(key), Cell);
  byName_.erase(oldKey);
  entry.Name = std::move(newName);
}

void TMivora::Remove(TCell* Cell) {
  if (Cell != nullptr) {
    const int32_t i = IndexOf(Cell);
    if (i < 0) RaiseInvalidCell();
    Depart(static_cast<size_t>(i));
    return;
  }

  // Every selected cell, in one pass over the list. A selected cell that is not
  // in the sheet stops the removal there; the ones before it stay removed.
  size_t valid = 0;
  while (valid < selection_.size() && IndexOf(selection_[valid]) >= 0) ++valid;
  if (valid > 0) {
    // Everything that can fail (allocation) happens before the lists change.
    std::unordered_set<const TCell*> leaving(selection_.begin(),
                                             selection_.begin() + static_cast<std::ptrdiff_t>(valid));
    std::vector<std::string> keys;
    keys.reserve(valid);
    for (size_t k = 0; k < valid; ++k) keys.push_back(FoldCase(GetCellName(selection_[k])));
    ReserveMore(departed_, valid);
    for (const std::string& key : keys) byName_.erase(key);
    size_t out = 0;
    for (size_t in = 0; in < entries_.size(); ++in) {
      TEntry& entry = entries_[in];
      if (leaving.count(entry.Cell.get()) != 0) {
        entry.Cell->listIndex_ = -1;
        departed_.push_back(std::move(entry.Cell));
      } else {
        if (out != in) entries_[out] = std::move(entry);
        ++out;
      }
    }
    entries_.resize(out);
    Renumber(0);
    for (size_t k = 0; k < valid; ++k) selected_.erase(selection_[k]);
    selection_.erase(selection_.begin(), selection_.begin() + static_cast<std::ptrdiff_t>(valid));
  }
  if (valid < selection_.size()) RaiseInvalidCell();
}

void TMivora::Reset() {
  ReserveMore(departed_, entries_.size());
  for (TEntry& entry : entries_) {
    entry.Cell->listIndex_ = -1;
    departed_.push_back(std::move(entry.Cell));
  }
  entries_.clear();
  byName_.clear();
  RemoveFromSelection(nullptr);
  RestoreDefaultSettings();
}

void TMivora::PurgeRemovedCells() {
  if (departed_.empty()) return;
  std::unordered_set<const TCell*> gone;
  for (const auto& cell : departed_) gone.insert(cell.get());
  // An application may have selected a departed cell; it must not outlive it there.
  std::erase_if(selection_, [&](TCell* c) { return gone.count(c) != 0; });
  for (const TCell* c : gone) selected_.erase(c);
  departed_.clear();
}

void TMivora::AssignCurrentSettings(TCell* Cell) {
  if (Cell == nullptr) RaiseInvalidCell();
  Cell->Alignment = CurrentAlignment;
  Cell->Brush = CurrentBrush;
  Cell->Font = CurrentFont;
  Cell->Layout = CurrentLayout;
  Cell->Orientation = CurrentOrientation;
  for (TEdge e : {edLeft, edTop, edRight, edBottom}) Cell->SetPenData(e, CurrentPens[e]);
  Cell->ShrinkToFit = CurrentShrinkToFit;
  Cell->WordWrap = CurrentWordWrap;
}

void TMivora::RestoreDefaultSettings() {
  CurrentAlignment = DefaultAlignment;
  CurrentBrush = DefaultBrushData;
  CurrentFont = DefaultFontData;
  CurrentLayout = DefaultLayout;
  CurrentOrientation = toHorizontal;
  CurrentPens = DefaultPens;
  CurrentShrinkToFit = false;
  CurrentWordWrap = true;
}

void TMivora::AddToSelection(TCell* Cell, bool ClearFirst) {
  if (ClearFirst) RemoveFromSelection(nullptr);
  // A null entry would make every selection command fail; it is not kept.
  if (Cell == nullptr) return;
  if (selected_.insert(Cell).second) selection_.push_back(Cell);
}

void TMivora::RemoveFromSelection(TCell* Cell) {
  if (Cell == nullptr) {
    selection_.clear();
    selected_.clear();
    return;
  }
  if (selected_.erase(Cell) == 0) return;
  selection_.erase(std::find(selection_.begin(), selection_.end(), Cell));
}

void TMivora::RemoveFromSelectionAt(size_t Position) {
  selected_.erase(selection_[Position]);
  selection_.erase(selection_.begin() + static_cast<std::ptrdiff_t>(Position));
}

TCell* TMivora::GetSelectedCell(int32_t Index) const noexcept {
  if (Index < 0 || Index >= GetSelectionCount()) return nullptr;
  return selection_[static_cast<size_t>(Index)];
}

void TMivora::RaiseEvent(const TNotifyEvent& Event) {
  if (!Event) return;
  try {
    Event(this);
  } catch (...) {
    Application->HandleException(this);
  }
}

} // namespace mivora
