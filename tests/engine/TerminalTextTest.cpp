// Text from a server on its way to a terminal, at each edge of what is escaped.
#include <gtest/gtest.h>

#include "TerminalText.h"

namespace quorvane {
namespace {

TEST(TerminalText, EscapesEveryControlAndEveryByteThatIsNotUtf8) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> cases[] = {
        {"Staff Public ~!", "Staff Public ~!"},
        {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
        {"a\0b"s, "a\\0b"},
        {"\x01\x1B]0;x\x07\x1F", "\\u{1}\\u{1B}]0;x\\u{7}\\u{1F}"},
        {"\x7F", "\\u{7F}"},
        // C1 controls, U+0080 to U+009F; U+00A0 and on are text.
        {"\xC2\x80", "\\u{80}"},
        {"Lab\xC2\x9B"
         "2J",
         "Lab\\u{9B}2J"},
        {"\xC2\x9F", "\\u{9F}"},
        {"\xC2\xA0\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
         "\xC2\xA0\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        // Marks that make a line read other than it is stored, and their neighbours.
        {"\xD8\x9C", "\\u{61C}"},
        {"\xE2\x80\x8E\xE2\x80\x8F", "\\u{200E}\\u{200F}"},
        {"\xE2\x80\xAA\xE2\x80\xAE", "\\u{202A}\\u{202E}"},
        {"\xE2\x81\xA6\xE2\x81\xA9", "\\u{2066}\\u{2069}"},
        {"\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xA5", "\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xA5"},
        // Not UTF-8: each byte on its own, so that none reaches an 8-bit terminal as CSI.
        {"\x9B"
         "2J",
         "\\u{9B}2J"},
        {"\xC0\x80", "\\u{C0}\\u{80}"},
        {"\xE0\x9F\xBF", "\\u{E0}\\u{9F}\\u{BF}"},
        {"\xC3(", "\\u{C3}("},
        {"x\xC3", "x\\u{C3}"},
        {"\xE2\x82", "\\u{E2}\\u{82}"},
        {"\xED\xA0\x80", "\\u{ED}\\u{A0}\\u{80}"},
        {"\xF4\x90\x80\x80", "\\u{F4}\\u{90}\\u{80}\\u{80}"},
        {"\xF5\xFF", "\\u{F5}\\u{FF}"},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(escapeControlCharacters(text), shown) << ::testing::PrintToString(text);
    }
}

}  // namespace
}  // namespace quorvane
