#include "Placeholders.h"

#include "InputError.h"
#include "TestSupport.h"

namespace mivora::tool {
namespace {

const std::vector<std::string> Columns{"name", "Company", "role", "street2"};

TTemplate Bound(const std::string& Text, TTemplateFormat Format = TTemplateFormat::Text) {
  TTemplate t = TTemplate::Compile(Text, Format, "b.json: commands[2].text");
  t.Bind(Columns, "people.csv");
  return t;
}

TMergeValues Values(const std::vector<std::string>& Fields) {
  TMergeValues v;
  v.Fields = &Fields;
  v.Record = 7;
  v.Records = 50;
  v.Page = 2;
  v.Pages = 7;
  v.Label = 3;
  v.Date.tm_year = 2026 - 1900;
  v.Date.tm_mon = 11;
  v.Date.tm_mday = 8;
  v.Date.tm_wday = 2;
  return v;
}

TEST(Placeholders, FillColumnsAndBuiltInsWithLiteralBraces) {
  const std::vector<std::string> record{"Ada", "Analytical Engines", "Speaker", ""};
  const TTemplate t =
      Bound("Dear {name} ({ COMPANY }), {{not a field}} #{record} of {records}, page {page}/{pages}, label {label}");
  EXPECT_TRUE(t.HasPlaceholders());
  EXPECT_EQ(t.Fill(Values(record)),
            "Dear Ada (Analytical Engines), {not a field} #7 of 50, page 2/7, label 3");
  EXPECT_EQ(t.UsedColumns(), (std::vector<size_t>{0, 1}));
  EXPECT_EQ(Bound("{date} {date:%d.%m.%Y} {date:%d %B %Y}").Fill(Values(record)),
            "2026-12-08 08.12.2026 08 December 2026");
  // Filling again reuses the compiled parts: another record, another text.
  const std::vector<std::string> other{"Bo", "", "", ""};
  EXPECT_EQ(t.Fill(Values(other)).substr(0, 13), "Dear Bo (), {");
  EXPECT_FALSE(Bound("no fields, }} only").HasPlaceholders());
}

TEST(Placeholders, AColumnNamedLikeABuiltInTakesItsPlace) {
  TTemplate t = TTemplate::Compile("{page}", TTemplateFormat::Text, "w");
  t.Bind({"page"}, "d.csv");
  const std::vector<std::string> record{"cover"};
  EXPECT_EQ(t.Fill(Values(record)), "cover");
}

TEST(Placeholders, EscapeValuesForMarkupAndRtf) {
  const std::vector<std::string> record{"Tom & \"Jerry\" <b>", "{A}\\B", "Zoë 😀", "x\ny"};
  EXPECT_EQ(Bound("<b>{name}</b>", TTemplateFormat::Markup).Fill(Values(record)),
            "<b>Tom &amp; &quot;Jerry&quot; &lt;b&gt;</b>");
  // RTF keeps its own groups and braces; only {word} is a field.
  const TTemplate rtf = Bound("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Dear {company}, {role} {street2}\\par}",
                              TTemplateFormat::Rtf);
  EXPECT_EQ(rtf.Fill(Values(record)),
            "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Dear \\{A\\}\\\\B, Zo\\u235? \\u-10179?\\u-8704? x\\line y\\par}");
}

TEST(Placeholders, DropLinesThatComeOutEmpty) {
  const TTemplate t = Bound("{name}\n{street2}\n\n{company}");
  const std::vector<std::string> full{"Ada", "", "1 Main St", "Flat 2"};
  // A line left empty by its field goes; a blank line written in the text stays.
  EXPECT_EQ(t.Fill(Values(full), true), "Ada\nFlat 2\n");
  const std::vector<std::string> noCompany{"Ada", "", "", ""};
  EXPECT_EQ(t.Fill(Values(noCompany), true), "Ada\n");
  EXPECT_EQ(t.Fill(Values(noCompany), false), "Ada\n\n\n");
  EXPECT_EQ(Bound("<b>{company}</b>\n{name}", TTemplateFormat::Markup).Fill(Values(noCompany), true), "Ada");
}

TEST(Placeholders, RefuseUnknownNamesWithThePathTheColumnsAndASuggestion) {
  EXPECT_THROW_MSG(Bound("Dear {nmae},"), EInputError,
                   "b.json: commands[2].text: {nmae} at character 6 names no column of people.csv (its columns: "
                   "name, Company, role, street2); did you mean \"name\"?");
  TTemplate alone = TTemplate::Compile("{title}", TTemplateFormat::Text, "b.json: commands[0].text");
  EXPECT_THROW_MSG(alone.Bind({}, ""), EInputError,
                   "b.json: commands[0].text: {title} at character 1 names no column (no data file is merged: give one with --data; the "
                   "built-in fields are record, records, page, pages, label, date)");
}

TEST(Placeholders, RefuseBrokenBracesAndDateFormats) {
  const auto compile = [](const std::string& Text) { TTemplate::Compile(Text, TTemplateFormat::Text, "w"); };
  EXPECT_THROW_MSG(compile("Dear {name,"), EInputError,
                   "w: the \"{\" at character 6 is not closed by a \"}\" (write {{ for a brace)");
  EXPECT_THROW_MSG(compile("{a {b}"), EInputError,
                   "w: the \"{\" at character 1 is not closed by a \"}\" (write {{ for a brace)");
  EXPECT_THROW_MSG(compile("x } y"), EInputError, "w: a \"}\" at character 3 closes no placeholder (write }} for a brace)");
  EXPECT_THROW_MSG(compile("{ }"), EInputError, "w: the placeholder at character 1 names nothing");
  EXPECT_THROW_MSG(compile("{date:%Q}"), EInputError,
                   "w: the date format \"%Q\" at character 1 has \"%Q\", which is not a date conversion (%d day, %m "
                   "month, %Y year, %B month name, %% a percent sign, ...)");
  // In RTF an unmatched brace is RTF's business, not a field.
  EXPECT_NO_THROW(TTemplate::Compile("{\\b x} { y", TTemplateFormat::Rtf, "w"));
}

} // namespace
} // namespace mivora::tool
