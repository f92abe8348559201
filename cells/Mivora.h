// The sheet of named cells: TCell, TMivora, ECellError and the shared enumerations.
#pragma once

#include "Component.h"
#include "MivoraUtils.h"

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace mivora {

class TMivora;
class TGraphic;
class TRichEdit;

enum TCellType : uint8_t { ctText, ctGraphic, ctRichEdit };
enum TCellCenter : uint8_t { ccHorizontal, ccVertical, ccBoth };
enum TTextOrientation : uint8_t { toHorizontal, toVertical };
// One edge of a cell. Addressing a pen, edBorders means all four edges when
// writing and the left edge when reading.
enum TEdge : uint8_t { edLeft, edTop, edRight, edBottom, edBorders };

// A set of edges: TEdges{edLeft, edTop}, edAll, or a single edge.
class TEdges {
public:
  constexpr TEdges() = default;
  constexpr TEdges(TEdge Edge) : bits_(Bit(Edge)) {} // NOLINT: a single edge is a set
  constexpr TEdges(std::initializer_list<TEdge> Edges) {
    for (TEdge e : Edges) bits_ |= Bit(e);
  }
  constexpr bool Contains(TEdge Edge) const { return (bits_ & Bit(Edge)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TEdges& Include(TEdge Edge) { bits_ |= Bit(Edge); return *this; }
  constexpr TEdges& Exclude(TEdge Edge) { bits_ &= static_cast<uint8_t>(~Bit(Edge)); return *this; }
  friend constexpr bool operator==(TEdges, TEdges) = default;

private:
  static constexpr uint8_t Bit(TEdge Edge) { return static_cast<uint8_t>(1u << Edge); }
  uint8_t bits_ = 0;
};

// The four real edges.
inline constexpr TEdges edAll{edLeft, edTop, edRight, edBottom};

// The format every new cell, and a sheet's current settings, start from.
inline constexpr uint8_t DefaultAlignment = 2;  // centre
inline constexpr uint8_t DefaultLayout = 1;     // centre
inline constexpr std::array<TPenData, 4> DefaultPens = {DefaultPenData, DefaultPenData,
                                                        DefaultPenData, DefaultPenData};

// The one exception type of the sheet and its cells.
class ECellError : public Exception {
public:
  using Exception::Exception;
};

// A cell's edges and font height in printer pixels before they are rounded to
// whole pixels; a cell far off the page may give figures beyond any device
// integer, or infinite ones.
struct TPixelBounds {
  float Left = 0.0f;
  float Top = 0.0f;
  float Right = 0.0f;
  float Bottom = 0.0f;
  float FontHeight = 0.0f;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TAddCellEvent = std::function<void(TObject* Sender, class TCell* NewCell)>;

// One rectangular field of the page with one kind of content: a text, a picture
// or a rich-edit control's formatted text. Geometry is in the sheet's measurement.
class TCell : public TObject {
public:
  // A cell for ASheet (which may be null: a detached cell), with every default.
  // It is not entered in the sheet; the sheet's AddCell does that.
  explicit TCell(TMivora* ASheet);
  // Frees the picture or control the cell owns.
  ~TCell() override;

  // --- Format: read and written directly by the sheet and applications.
  uint8_t Alignment = DefaultAlignment;  // 0 left, 1 right, 2 centre
  TBrushData Brush = DefaultBrushData;
  bool CheckBounds = true;               // while true the edge and size setters validate
  TFontData Font = DefaultFontData;
  uint8_t Layout = DefaultLayout;        // 0 top, 1 centre, 2 bottom
  TTextOrientation Orientation = toHorizontal;
  std::array<TPenData, 4> Pens = DefaultPens;
  bool ShrinkToFit = false;
  bool Stretch = true;                   // pictures always fill the rectangle
  TGraphicFit Fit = gfAuto;              // contain or cover keep the picture's proportions; gfAuto: as Stretch says
  bool Visible = true;
  bool WordWrap = true;

  // --- Geometry
  float Left() const noexcept { return left_; }
  float Top() const noexcept { return top_; }
  float Right() const noexcept { return right_; }
  float Bottom() const noexcept { return bottom_; }
  // Right - Left.
  float GetWidth() const noexcept;
  // Bottom - Top.
  float GetHeight() const noexcept;
  // Writes one edge; in pixels truncated to a whole number; validated while
  // CheckBounds is true. Without a sheet nothing is stored.
  void SetLeft(float Value);
  void SetTop(float Value);
  void SetRight(float Value);
  void SetBottom(float Value);
  // Sets Right to Left + Value (Bottom to Top + Value); a negative size is refused.
  void SetWidth(float Value);
  void SetHeight(float Value);

  // Grows (or shrinks) the cell by DX across and DY down, evenly on both sides.
  void Inflate(float DX, float DY);
  // Moves the cell to the middle of the printer's page, keeping its size.
  void CenterOnPage(TCellCenter Center);
  // Multiplies all four edges, and the font height when ScaleFont, by Factor.
  void Magnification(float Factor, bool ScaleFont);

  // --- Content
  TCellType CellType() const noexcept { return cellType_; }
  const std::string& Text() const noexcept { return text_; }
  // The picture or rich-edit control the cell owns, or null.
  TObject* ContentObject() const noexcept { return content_.get(); }
  // Drops the current content (object or text) and takes the new type.
  void SetCellType(TCellType Value);
  // Makes this a text cell showing Value.
  void SetText(std::string Value);
  // Makes this a picture cell that owns Value (which may be null).
  void SetGraphic(TGraphic* Value);
  // Makes this a rich-text cell that owns Value; an unparented control is hidden
  // and placed on the application's main form.
  void SetRichEdit(TRichEdit* Value);
  // The picture of a picture cell, else null.
  TGraphic* GetGraphic() const noexcept;
  // The control of a rich-text cell, else null.
  TRichEdit* GetRichEdit() const noexcept;
  // Frees the picture or control; the cell type stays.
  void FreeObject();

  // --- Name, kept by the sheet
  // The cell's name in its sheet; empty without a sheet.
  std::string GetName() const;
  // Renames the cell through its sheet.
  void SetName(const std::string& Value);
  // The sheet the cell was made for, or null.
  TMivora* Sheet() const noexcept { return sheet_; }

  // --- Pens
  TColor GetPenColor(TEdge Edge) const;
  int32_t GetPenWidth(TEdge Edge) const;
  uint8_t GetPenStyle(TEdge Edge) const;
  TPenData GetPenData(TEdge Edge) const;
  void SetPenColor(TEdge Edge, TColor Color);
  void SetPenWidth(TEdge Edge, int32_t Width);
  void SetPenStyle(TEdge Edge, uint8_t Style);
  void SetPenData(TEdge Edge, TPenData Data);

  // --- Printing (while the sheet's print job is open)
  // Paints the background and content, and the edges unless the sheet defers them.
  void Print();
  // Draws the four edges.
  void PrintEdges();

private:
  friend class TMivora;

  void SetEdge(float& Field, float Value, bool Rejected, const char* Suffix);
  void StoreContent(std::unique_ptr<TObject> Object);
  [[noreturn]] void RaiseInvalidProperty(const char* Suffix) const;

  TMivora* sheet_;
  float left_ = 0.0f;
  float top_ = 0.0f;
  float right_ = 0.0f;
  float bottom_ = 0.0f;
  TCellType cellType_ = ctText;
  std::string text_;
  std::unique_ptr<TObject> content_;
  int32_t listIndex_ = -1; // position in the sheet's list; -1 once it has left
};

// The sheet: one printed page of named cells, a selection, and the settings new
// cells receive.
class TMivora : public TComponent {
public:
  explicit TMivora(TComponent* AOwner);
  ~TMivora() override;

  // --- Published
  TNotifyEvent AfterPrint;
  TNotifyEvent BeforePrint;
  TNotifyEvent DuringPrint;
  TAddCellEvent OnAddCell;
  // The unit of all cell geometry.
  TMeasurement Measurement() const noexcept { return measurement_; }
  // Changes the unit, converting every cell so that the page stays the same.
  void SetMeasurement(TMeasurement Value);

  // --- Current settings: the format every new cell receives
  uint8_t CurrentAlignment = DefaultAlignment;
  TBrushData CurrentBrush = DefaultBrushData;
  TFontData CurrentFont = DefaultFontData;
  uint8_t CurrentLayout = DefaultLayout;
  TTextOrientation CurrentOrientation = toHorizontal;
  std::array<TPenData, 4> CurrentPens = DefaultPens;
  bool CurrentShrinkToFit = false;
  bool CurrentWordWrap = true;
  // True: all contents first, then all edges; false: each cell's edges follow its content.
  bool PrintEdgesLast = true;

  // --- Cells
  // Creates a cell in front of all others with the current settings.
  TCell* AddCell(const std::string& Name, float Left, float Top, float Width, float Height);
  // AddCell, then the new cell becomes the only selected cell.
  TCell* Add(const std::string& Name, float Left, float Top, float Width, float Height);
  // A new text cell.
  TCell* AddText(const std::string& Name, const std::string& Text, float Left, float Top,
                 float Width, float Height);
  // A new picture cell that owns Graphic (destroyed if the cell cannot be made).
  TCell* AddGraphic(const std::string& Name, TGraphic* Graphic, float Left, float Top,
                    float Width, float Height);
  // A new rich-text cell that owns RichEdit (destroyed if the cell cannot be made).
  TCell* AddRichEdit(const std::string& Name, TRichEdit* RichEdit, float Left, float Top,
                     float Width, float Height);
  // Number of cells.
  int32_t Count() const noexcept { return static_cast<int32_t>(entries_.size()); }
  // The cell at Index in stacking order (0 is the back), or null past the end.
  TCell* GetCell(int32_t Index) const;
  // The name of Cell as stored.
  const std::string& GetCellName(const TCell* Cell) const;
  // The cell of that name, letter case ignored; raises when there is none.
  TCell* Find(const std::string& Name) const;
  // Renames Cell; an empty NewName does nothing.
  void ChangeCellName(TCell* Cell, const std::string& NewName);
  // Takes Cell (or, with null, every selected cell) out of the sheet.
  void Remove(TCell* Cell);
  // Removes every cell, empties the selection, restores the default settings.
  void Reset();
  // Gives Cell the current settings.
  void AssignCurrentSettings(TCell* Cell);
  // Puts the current settings back to their defaults.
  void RestoreDefaultSettings();
  // Destroys the cells that have left the sheet; pointers to them become invalid.
  void PurgeRemovedCells();

  // --- Selection
  // Appends Cell to the selection unless it is selected; ClearFirst empties it first.
  void AddToSelection(TCell* Cell, bool ClearFirst);
  // Takes Cell out of the selection; null empties it.
  void RemoveFromSelection(TCell* Cell);
  // The selected cell at Index, or null.
  TCell* GetSelectedCell(int32_t Index) const noexcept;
  int32_t GetSelectionCount() const noexcept { return static_cast<int32_t>(selection_.size()); }

  // --- Patterns, selecting and stacking order
  // Whether the name of Cell matches Pattern ("*" at the start, end, both, or inside).
  bool StringMatchCellName(const std::string& Pattern, const TCell* Cell) const;
  // Selects the cells matching any of the ";"-separated patterns; the first one or null.
  TCell* Select(const std::string& Patterns);
  // Moves Cell (null: each selected cell) to the front or the back.
  void MoveCell(TCell* Cell, bool ToFront);
  void BringToFront(TCell* Cell);
  void SendToBack(TCell* Cell);

  // --- Formatting the selection (or, with none, the current settings)
  void SetAlignment(uint8_t Value);
  void SetBrush(TColor Color, uint8_t Style);
  void SetFont(const std::string& Name, TColor Color, float Height, TFontStyles Style);
  void SetLayout(uint8_t Value);
  void SetOrientation(TTextOrientation Value);
  void SetTextProperties(bool ShrinkToFit, bool WordWrap);
  void SetEdges(TEdges Edges, TColor Color, uint8_t Style, int32_t Width);
  void SetEdgesWR(TEdges Edges, TColor Color, uint8_t Style, int32_t Width);
  void SetPen(TEdges Edges, TColor Color, uint8_t Style, int32_t Width, bool ClearOthers);
  // Copies the format of Source to every other selected cell.
  void CopyFormat(TCell* Source, bool WithoutEdges);
  // Gives the selected cells the texts, in order; missing texts are empty.
  void FillText(const std::vector<std::string>& Texts);

  // --- Cutting the first selected cell into a grid of new cells
  void Cut(const std::string& BaseName, const std::vector<float>& Widths,
           const std::vector<float>& Heights);
  void CutH(const std::string& BaseName, const std::vector<float>& Heights);
  void CutV(const std::string& BaseName, const std::vector<float>& Widths);
  void Split(const std::string& BaseName, int32_t RowCount, int32_t ColCount);
  void SplitH(const std::string& BaseName, int32_t PartCount);
  void SplitV(const std::string& BaseName, int32_t PartCount);
  void CutCell(const std::string& BaseName, const std::vector<float>& Widths,
               const std::vector<float>& Heights, int32_t RowCount, int32_t ColCount);

  // --- Page and printing
  // The printer's page width in the sheet's measurement.
  float PageW() const;
  // The printer's page height in the sheet's measurement.
  float PageH() const;
  // Cell's edges and font height in printer pixels, not yet rounded.
  TPixelBounds CellPixelBounds(const TCell* Cell) const;
  // Cell's edges and font height in whole printer pixels (CellPixelBounds rounded).
  void TransformCellBounds(const TCell* Cell, int32_t& Left, int32_t& Top, int32_t& Right,
                           int32_t& Bottom, int32_t& FontHeight) const;
  // Prints every visible cell as one page, as a job named Title: BeforePrint,
  // the page, DuringPrint (page still open), the end of the job, AfterPrint.
  void Print(const std::string& Title);
  // Draws every visible cell on the printer's open page, contents and edges, without
  // starting or ending a job or raising events.
  void PrintPage();

  // --- Documents of several pages: the sheet as it stands at each PrintNextPage
  // Raises BeforePrint and starts a print job named Title. Raises EPrinterError
  // when the printer cannot start one; then no document is open.
  void BeginDocument(const std::string& Title);
  // Draws every visible cell as the next page of the open document and raises
  // DuringPrint while the page is open. A cell that fails to draw aborts the
  // whole document (nothing is written) and its error is raised.
  void PrintNextPage();
  // Ends the open document, which sends its pages to the printer's target, then
  // raises AfterPrint. A document without pages is abandoned with an error.
  void EndDocument();
  // Discards the open document and its pages without any event; harmless
  // when none is open.
  void AbortDocument();
  // Whether this sheet has a document open.
  bool DocumentOpen() const noexcept { return documentOpen_; }
  // The pages printed into the open document (or the last one) so far.
  int32_t DocumentPages() const noexcept { return documentPages_; }
  // Magnifies every cell.
  void Magnification(float Factor, bool ScaleFont);

private:
  struct TEntry {
    std::string Name;
    std::unique_ptr<TCell> Cell;
  };

  int32_t IndexOf(const TCell* Cell) const noexcept;
  void Depart(size_t Index);
  void Renumber(size_t From) noexcept;
  void RemoveFromSelectionAt(size_t Position);
  void RaiseEvent(const TNotifyEvent& Event);

  std::vector<TEntry> entries_;                            // stacking order
  std::unordered_map<std::string, TCell*> byName_;         // case-folded name -> cell
  std::vector<TCell*> selection_;
  std::unordered_set<const TCell*> selected_;
  std::vector<std::unique_ptr<TCell>> departed_;           // left the lists, not yet purged
  TMeasurement measurement_ = mtCentimeters;
  bool documentOpen_ = false;
  int32_t documentPages_ = 0;
  std::string documentTitle_;
};

// Registers TMivora on the component palette page "Additional".
void Register();

} // namespace mivora

// CheckSheet: what would spoil the page, found before printing.
#include "Preflight.h"
