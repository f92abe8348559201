// Fields inside texts on any bytes. The first byte picks the text's format; the
// rest is split at the first two NUL bytes into the template, the data file's
// header (columns separated by commas) and one record (fields separated by
// commas). The template is compiled, bound to the header and filled from the
// record, with and without dropping empty lines.
#include "FuzzTarget.h"
#include "Placeholders.h"

#include <exception>
#include <string>
#include <string_view>
#include <vector>

using namespace mivora::tool;

namespace {

std::vector<std::string> SplitAtCommas(std::string_view Text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= Text.size()) {
    size_t comma = Text.find(',', start);
    if (comma == std::string_view::npos) comma = Text.size();
    parts.emplace_back(Text.substr(start, comma - start));
    start = comma + 1;
  }
  return parts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  static const TTemplateFormat kFormats[] = {TTemplateFormat::Text, TTemplateFormat::Markup, TTemplateFormat::Rtf,
                                             TTemplateFormat::FileName};
  const TTemplateFormat format = kFormats[Data[0] % 4];
  const std::string_view input(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  const size_t first = input.find('\0');
  const std::string_view text = input.substr(0, first);
  std::string_view header, record;
  if (first != std::string_view::npos) {
    const std::string_view rest = input.substr(first + 1);
    const size_t second = rest.find('\0');
    header = rest.substr(0, second);
    if (second != std::string_view::npos) record = rest.substr(second + 1);
  }
  try {
    TTemplate compiled = TTemplate::Compile(text, format, "fuzz.json: commands[0].text");
    const std::vector<std::string> columns =
        header.empty() ? std::vector<std::string>{} : SplitAtCommas(header);
    compiled.Bind(columns, "fuzz.csv");
    std::vector<std::string> fields = SplitAtCommas(record);
    // A record has as many fields as the header has columns, as the data reader makes sure.
    fields.resize(columns.size());
    TMergeValues values;
    values.Fields = &fields;
    values.Record = 3;
    values.Records = 12;
    values.Page = 2;
    values.Pages = 4;
    values.Label = 7;
    values.Date.tm_year = 126;
    values.Date.tm_mon = 11;
    values.Date.tm_mday = 8;
    std::string out;
    compiled.Fill(values, out, false);
    compiled.Fill(values, out, true);
    std::string escaped;
    AppendEscaped(record, format, escaped);
  } catch (const std::exception&) {
  }
  return 0;
}
