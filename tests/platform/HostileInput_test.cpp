// The platform's readers on the worst inputs we can build: RTF nested thousands
// deep, pictures that declare huge sizes, form descriptions with huge counts.
// Each stops at its bound with an error naming it, or reads the input in time
// that grows with its length alone.
#include "FormDescription.h"
#include "Picture.h"
#include "RichEdit.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace mivora {
namespace {

template <typename Error, typename Statement>
std::string ErrorOf(Statement&& Run) {
  try {
    Run();
  } catch (const Error& error) {
    return error.what();
  }
  return {};
}

#define EXPECT_ERROR_HAS(message, part) EXPECT_NE((message).find(part), std::string::npos) << (message)

std::string CorpusFile(const std::string& Name) {
  std::ifstream in(std::string(MIVORA_SOURCE_DIR) + "/tests/fuzz/corpus/" + Name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(HostileRtfTest, GroupsNestedThousandsDeepStopAtTheDepthBound) {
  TRichEdit edit(nullptr);
  edit.SetText("kept");
  for (size_t depth : {size_t{300}, size_t{100000}}) {
    const std::string rtf = "{\\rtf1 " + std::string(depth, '{') + "x" + std::string(depth, '}') + "}";
    const std::string message = ErrorOf<ERichEditError>([&] { edit.SetRtf(rtf); });
    EXPECT_ERROR_HAS(message, "groups nested deeper than 256 at byte");
  }
  EXPECT_EQ(edit.Text(), "kept") << "the content is unchanged";
  // Exactly at the bound the document reads.
  edit.SetRtf("{\\rtf1 " + std::string(255, '{') + "deep" + std::string(255, '}') + "}");
  EXPECT_EQ(edit.Text(), "deep");
}

TEST(HostileRtfTest, HugeCountsAndLongWordsReadInTimeOfTheirLength) {
  // A hundred thousand fonts and colours, runs, escapes and an endless control
  // word: all read (or refused) in one pass.
  std::string rtf = "{\\rtf1{\\fonttbl";
  for (int i = 0; i < 100000; ++i) rtf += "{\\f" + std::to_string(i) + " Face" + std::to_string(i) + ";}";
  rtf += "}{\\colortbl;";
  for (int i = 0; i < 100000; ++i) rtf += "\\red1\\green2\\blue3;";
  rtf += "}";
  for (int i = 0; i < 100000; ++i) rtf += "{\\b\\f" + std::to_string(i % 7) + "\\fs99999999999 x}\\'e9\\u8364?";
  rtf += "}";
  TRichEdit edit(nullptr);
  edit.SetRtf(rtf);
  EXPECT_EQ(edit.TextLength(), 300000);

  const std::string word = "{\\rtf1 \\" + std::string(4 * 1024 * 1024, 'a') + " x}";
  const std::string message = ErrorOf<ERichEditError>([&] { edit.SetRtf(word); });
  if (message.empty()) {
    EXPECT_EQ(edit.Text(), "x");
  } else {
    EXPECT_ERROR_HAS(message, "at byte");
  }
}

TEST(HostilePictureTest, PicturesThatDeclareHugeSizesAreRefusedBeforeTheyAreDecoded) {
  for (const char* name : {"picture/huge-declared.png", "picture/huge-declared.jpg"}) {
    const std::string data = CorpusFile(name);
    ASSERT_FALSE(data.empty()) << name;
    const std::string message =
        ErrorOf<EGraphicError>([&] { LoadGraphicFromMemory(data.data(), data.size(), name); });
    EXPECT_ERROR_HAS(message, "is too large (at most " + std::to_string(TBitmapGraphic::MaxSide) + " per side");
    EXPECT_ERROR_HAS(message, name);
  }
  const std::string svg = CorpusFile("picture/huge-declared.svg");
  EXPECT_ERROR_HAS(ErrorOf<EGraphicError>([&] { LoadGraphicFromMemory(svg.data(), svg.size(), "huge.svg"); }),
                   "is too large (at most " + std::to_string(TSvgGraphic::MaxSide) + " per side)");
}

TEST(HostilePictureTest, SvgEntitiesAndExternalReferencesAreNotFollowed) {
  // Entities that expand a thousandfold, and an image that names a file outside:
  // the picture loads at its declared size and draws nothing it names.
  const std::string svg = CorpusFile("picture/entities.svg");
  ASSERT_FALSE(svg.empty());
  std::string message;
  try {
    const auto graphic = LoadGraphicFromMemory(svg.data(), svg.size(), "entities.svg");
    EXPECT_EQ(graphic->Width(), 20);
    EXPECT_EQ(graphic->Height(), 10);
  } catch (const EGraphicError& error) {
    message = error.what();
    EXPECT_ERROR_HAS(message, "entities.svg");
  }
}

TEST(HostileFormTest, HugeCountsOfObjectsAndPropertiesReadInOnePass) {
  // A property list of a hundred thousand distinct names, and as many objects;
  // a duplicate at the very end is still found, with both lines.
  std::string text = "object Big: TThing\n";
  for (int i = 0; i < 100000; ++i) text += "  P" + std::to_string(i) + " = " + std::to_string(i) + "\n";
  std::string duplicate = text + "  P7 = again\nend\n";
  text += "end\n";
  for (int i = 0; i < 100000; ++i) text += "object O" + std::to_string(i) + ": TThing\nend\n";
  const std::vector<TFormObject> objects = ParseFormDescription(text);
  ASSERT_EQ(objects.size(), 100001u);
  EXPECT_EQ(objects[0].Properties.size(), 100000u);
  EXPECT_EQ(ErrorOf<EFormError>([&] { ParseFormDescription(duplicate); }),
            "line 100002: P7 is already given on line 9");

  const std::string huge(64 * 1024 * 1024 + 1, '\n');
  EXPECT_EQ(ErrorOf<EFormError>([&] { ParseFormDescription(huge); }),
            "the description has 67108865 bytes; the most accepted is 67108864");
}

} // namespace
} // namespace mivora
