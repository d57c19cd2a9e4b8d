// Escapes of script messages: only lower-case \n and \t, backslash-n first.
#include "setup/escapes.h"
#include "framework/tokens.h"
#include "simwin/machine.h"
#include <gtest/gtest.h>
#include <cstring>

static std::string Expand(const char* in) {
    char buf[512];
    strcpy(buf, in);
    ExpandMessageEscapes(buf);
    return buf;
}

TEST(Escapes, TheTwoEscapesAndNothingElse) {
    EXPECT_EQ(Expand("Line one\\nLine two"), "Line one\r\nLine two");
    EXPECT_EQ(Expand("Name:\\tValue"), "Name:\tValue");
    EXPECT_EQ(Expand("\\N\\T\\x\\\\"), "\\N\\T\\x\\\\");
    EXPECT_EQ(Expand("ends in \\"), "ends in \\");
    EXPECT_EQ(Expand("\\\\n"), "\\\r\n");
    EXPECT_EQ(Expand("\\n\\n\\t\\t"), "\r\n\r\n\t\t");
    EXPECT_EQ(Expand("\\\\t"), "\\\t");
    EXPECT_EQ(Expand(""), "");
}

TEST(Escapes, LongestMessageStaysWithinItsBuffer) {
    char buf[512];
    for (int i = 0; i < 511; ++i) buf[i] = (i % 2) ? 't' : '\\';
    buf[511] = '\0';
    ExpandMessageEscapes(buf);
    EXPECT_EQ(strlen(buf), 255u + 1u); // 255 tabs and the lone backslash at the end
}

// Japanese Windows: 0x95 0x5C is one character, and 0x81 0x5B another.
// Their second bytes begin neither an escape nor a token there; on a
// single-byte code page they are a backslash and a bracket.
TEST(Escapes, DoubleByteCharactersHideNoEscapesOrTokens) {
    struct {
        UINT codePage;
        const char* escaped;
        const char* tokens;
    } cases[] = {
        {932, "\x95\\n\x95\\t\r\n", "\x81[CWD]\\D:\\CD"},
        {1252, "\x95\r\n\x95\t\r\n", "\x81" "D:\\CD" "\\" "D:\\CD"},
    };
    for (const auto& c : cases) {
        sim::Machine m;
        m.codePage = c.codePage;
        sim::UseMachine use(m);
        EXPECT_EQ(Expand("\x95\\n\x95\\t\\n"), c.escaped) << c.codePage;
        char value[64] = "\x81[CWD]\\[CWD]";
        EXPECT_TRUE(ExpandToken(value, sizeof value, "[CWD]", "D:\\CD"));
        EXPECT_STREQ(value, c.tokens) << c.codePage;
    }
}
