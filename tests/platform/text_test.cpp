#include "platform/text.h"

#include <gtest/gtest.h>

using platform::utf16ToUtf8;
using platform::utf8ToUtf16;

TEST(Text, ConvertsValidUtf8BothWays) {
    std::string text = "a/\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.wmv \xF0\x9F\x8E\xAC";  // テスト 🎬
    std::u16string wide = u"a/\u30C6\u30B9\u30C8.wmv \U0001F3AC";
    EXPECT_EQ(utf8ToUtf16(text), wide);
    EXPECT_EQ(utf16ToUtf8(wide), text);
}

TEST(Text, InvalidBytesSurviveTheRoundTrip) {
    // A Shift-JIS name, a lone continuation byte, a truncated sequence, an overlong slash, an
    // encoded surrogate and a code point above U+10FFFF: none is valid UTF-8.
    for (std::string raw :
         {std::string("\x83\x65\x83\x58\x83\x67.wmv"), std::string("a\x80z"),
          std::string("\xE3\x81"), std::string("\xC0\xAF"), std::string("\xED\xA0\x80"),
          std::string("\xF4\x90\x80\x80"), std::string("\xFF\xFE", 2)}) {
        std::u16string wide = utf8ToUtf16(raw);
        for (char16_t unit : wide) {
            EXPECT_TRUE(unit < 0xD800 || (unit >= 0xDC80 && unit <= 0xDCFF) || unit > 0xDFFF);
        }
        EXPECT_EQ(utf16ToUtf8(wide), raw);
    }
    EXPECT_EQ(utf8ToUtf16("a\x80z"), (std::u16string{u'a', 0xDC80, u'z'}));
}

TEST(Text, UnpairedSurrogatesFromElsewhereBecomeReplacementCharacters) {
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xDC10}), "\xEF\xBF\xBD");
}
