// Printing a layout with data: one page a record, or one record a label when
// the layout declares a label grid. The data file is read twice, one record at
// a time: first to check every record (nothing is printed when one is wrong),
// then to print; memory does not grow with the number of records.
#pragma once

#include "LabelSheets.h"
#include "Mivora.h"
#include "Paths.h"
#include "Placeholders.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mivora::tool {

// The library's label grids, as the command's parts name them.
using mivora::LabelRect;
using mivora::TLabelGrid;
using mivora::TLabelRect;

struct TLayout;

// The records a run prints: "5-10,20" (1-based, in any order; printed in the
// order of the file). Empty: every record.
class TRecordSelection {
public:
  // Reads the list as written after --records. Raises EInputError naming the
  // piece that is not a number or a range.
  static TRecordSelection Parse(const std::string& Written);

  bool All() const noexcept { return ranges_.empty(); }
  bool Contains(size_t Record) const noexcept;
  // The largest record named (0 for every record).
  size_t Largest() const noexcept;

private:
  std::vector<std::pair<size_t, size_t>> ranges_;  // sorted, not overlapping
};

// How a layout merges, as read from its "labels" and "merge" objects.
struct TMergeLayout {
  // The label grid, in millimetres; its paper is the printer's when printed.
  std::optional<TLabelGrid> Grid;
  std::string GridPreset;    // the preset's code, when one is named
  std::string GridWhere;     // "labels.json: labels", for messages
  // Cell-name patterns (as in Select): cells that print nothing when their
  // merged text is empty, and text cells whose empty lines are dropped.
  std::string HideWhenEmpty, DropEmptyLines;
};

// Reads the "labels" object of a layout at Where: {"sheet": "L7160"} or the
// figures across, down, width, height, left, top, and gapX/gapY or
// pitchX/pitchY, with "order": "across" (default) or "down". Lengths are in
// the layout's unit, MmPerUnit millimetres each (0: the unit has no fixed
// length, and only presets are accepted).
TMergeLayout ParseMergeLayout(const nlohmann::json* Labels, const nlohmann::json* Merge, const std::string& Where,
                              double MmPerUnit);

// The options of one merged run.
struct TMergeOptions {
  std::optional<std::filesystem::path> Data;  // none: the layout alone
  std::string DataLabel;
  std::optional<char> Separator;              // none: a tab for .tsv, else a comma
  TPathPolicy DataPolicy;                     // where picture files named by the data lie
  int32_t First = 1;                          // the first label used on the first sheet
  int32_t Copies = 1;                         // each record this many times in a row
  TRecordSelection Records;
  bool Strict = false;                        // warnings are errors
  std::function<void(const std::string& Message)> Warn;
  // Whether PrintPages draws page Page (1-based); a page it does not draw is
  // filled in all the same, and drawn by another process. None: every page.
  std::function<bool(size_t Page)> DrawsPage;
};

// Gives the printer the paper of the layout's label sheet when the layout
// names a preset and no paper of its own.
void ApplyLabelPaper(const TLayout& Layout, const TMergeLayout& Merge);

// A checked merge, ready to print on a built sheet.
class TMerge {
public:
  // Binds the sheet (built from Layout) to the data: fields inside texts,
  // columns named like cells, the label grid against the printer's paper;
  // then reads and checks every record. Raises EInputError on the first fault.
  TMerge(TMivora& Sheet, const TLayout& Layout, const TMergeLayout& Merge, TMergeOptions Options);
  ~TMerge();
  TMerge(const TMerge&) = delete;
  TMerge& operator=(const TMerge&) = delete;

  // The pages the run prints, and the records (copies included) on them.
  size_t Pages() const noexcept;
  size_t Labels() const noexcept;
  // The records in the data file (0 without one).
  size_t Records() const noexcept;

  // Prints every page into the sheet's open document; Progress gets the pages
  // done and the total after each page.
  void PrintPages(const std::function<void(size_t Done, size_t Total)>& Progress);
  // Fills the sheet for every label (or page) as PrintPages does, without
  // printing, and calls Visit with the record filled in ("data.csv:12 (record
  // 11)"; "" without data).
  void VisitLabels(const std::function<void(const std::string& Record)>& Visit);

private:
  void Run(const std::function<void(size_t Done, size_t Total)>& Progress,
           const std::function<void(const std::string& Record)>& Visit);

  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

} // namespace mivora::tool
