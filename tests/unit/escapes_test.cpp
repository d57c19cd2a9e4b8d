// Escapes of script messages: only lower-case \n and \t, backslash-n first.
#include "setup/escapes.h"
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
