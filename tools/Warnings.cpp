#include "Warnings.h"

#include "TextEncoding.h"

#include <utility>

namespace mivora::tool {

namespace {

// One cell's text that does not fit is named for this many records; further
// records are counted.
constexpr size_t kMaxRecordsPerCell = 5;

} // namespace

TWarnings::TWarnings(std::string Label, TPreflightOptions Options,
                     std::function<std::string(const std::string& Cell)> CommandOf)
    : label_(std::move(Label)), options_(Options), commandOf_(std::move(CommandOf)) {}

void TWarnings::Check(const TMivora& Sheet, const std::string& Record) {
  for (const TFinding& finding : CheckSheet(Sheet, options_)) {
    if (!seen_.emplace(finding.Kind, finding.Cell, finding.Message).second) continue;
    const std::pair<int, std::string> key{finding.Kind, finding.Cell};
    if (++perCell_[key] > kMaxRecordsPerCell) {
      ++leftOut_[key];
      continue;
    }
    std::string message = label_ + ": ";
    if (!Record.empty()) message += Record + ": ";
    // As errors name a command: "page.json: commands[3] (AddText "Title"): ...".
    const std::string command = commandOf_ ? commandOf_(finding.Cell) : std::string();
    if (!command.empty()) message += command + ": ";
    message += "cell \"" + finding.Cell + "\": " + finding.Message;
    messages_.push_back(std::move(message));
  }
}

std::string CommandOfCell(const TLayout& Layout, const std::string& Cell) {
  const std::string cell = FoldCase(Cell);
  const TCommand* base = nullptr;
  for (const TCommand& command : Layout.Commands) {
    const std::string& subject = command.Spec->Subject;
    if (subject.empty() || !command.Args.Has(subject)) continue;
    const std::string name = FoldCase(command.Args.Text(subject));
    const std::string& op = command.Op();
    if (op.rfind("Add", 0) == 0 && name == cell) return Describe(command);
    if ((op.rfind("Cut", 0) == 0 || op.rfind("Split", 0) == 0) && cell.rfind(name, 0) == 0) base = &command;
  }
  return base != nullptr ? Describe(*base) : std::string();
}

std::vector<std::string> TWarnings::Messages() const {
  std::vector<std::string> all = messages_;
  for (const auto& [key, count] : leftOut_) {
    all.push_back(label_ + ": cell \"" + key.second + "\": " + std::to_string(count) + " more record" +
                  (count == 1 ? "" : "s") + " with the same kind of warning");
  }
  return all;
}

} // namespace mivora::tool
