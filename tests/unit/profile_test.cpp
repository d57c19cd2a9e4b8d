// The host's profile reader: the answers of Wine's GetPrivateProfileStringA
// that the programs depend on, pinned so that the host tier alone catches a
// regression. The full comparison with Wine is the wine.profile_reader test;
// this file leaves out the exhaustive byte tables it runs.
#include "simwin/machine.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Answer {
    DWORD ret;
    std::string text;
};

const size_t kGuard = 8;

// Reads through a buffer with a guard after it; any write past size fails.
Answer Read(const std::string* file, const char* section, const char* key, const char* def = "DEF",
            DWORD size = 64) {
    std::vector<char> buf(size + kGuard, '#');
    DWORD ret = sim::ReadProfileString(file, section, key, def, buf.data(), size);
    for (size_t i = size; i < buf.size(); ++i) EXPECT_EQ(buf[i], '#') << "write past the buffer at " << i;
    std::string text = size ? std::string(buf.data()) : std::string();
    EXPECT_LT(text.size(), size ? size_t(size) : 1u) << "not terminated inside the buffer";
    return {ret, text};
}

Answer Read(const std::string& file, const char* section, const char* key, const char* def = "DEF",
            DWORD size = 64) {
    return Read(&file, section, key, def, size);
}

#define EXPECT_ANSWER(answer, r, t)                                                                               \
    do {                                                                                                          \
        Answer a_ = (answer);                                                                                     \
        EXPECT_EQ(a_.ret, DWORD(r));                                                                              \
        EXPECT_EQ(a_.text, std::string(t));                                                                       \
    } while (0)

struct Case {
    const char* section;
    const char* key;
    const char* expected;
};

void ExpectAll(const std::string& file, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("[") + c.section + "] " + c.key);
        Answer a = Read(file, c.section, c.key);
        EXPECT_EQ(a.text, c.expected);
        EXPECT_EQ(a.ret, a.text.size());
    }
}

TEST(Profile, NamesIgnoreAsciiCaseAndSurroundingBlanks) {
    const std::string ini =
        "top=before\n"
        "[Setup]\n"
        "Title=Card\n"
        "  Spaced \t=\t value  with  blanks \t\n"
        "Inner Name=x\n"
        "Eq = a = b\n"
        "Empty=\n"
        "Blank=   \n"
        "=no name\n"
        "[\xe9]\nk=lower\n";
    ExpectAll(ini, {{"Setup", "Title", "Card"},
                    {"SETUP", "tITLE", "Card"},
                    {" \tSetup\x1a", "\tTitle ", "Card"},
                    {"Setup", "Spaced", "value  with  blanks"},
                    {"Setup", "Inner Name", "x"},
                    {"Setup", "Inner  Name", "DEF"},
                    {"Setup", "Eq", "a = b"},
                    {"Setup", "Empty", ""}, // present but empty: not the default
                    {"Setup", "Blank", ""},
                    {"Setup", "", "no name"},
                    {"", "top", "before"}, // lines before any header form a section named ""
                    {"Setup", "top", "DEF"},
                    {"\xc9", "k", "DEF"}, // only ASCII letters fold
                    {"\xe9", "k", "lower"}});
}

TEST(Profile, CommentsAndLinesWithoutEqualsAreKeys) {
    const std::string ini =
        "[C]\n"
        "; Key=commented\n"
        "#Hash=h\n"
        "Real=v ; tail kept\n"
        "NoEq\n"
        "NoEq=never read\n";
    ExpectAll(ini, {{"C", "; Key", "commented"},
                    {"C", "Key", "DEF"},
                    {"C", "#Hash", "h"},
                    {"C", "Real", "v ; tail kept"},
                    {"C", "NoEq", "DEF"}}); // first key wins, and it has no value
}

TEST(Profile, FirstSectionAndFirstKeyOfANameWin) {
    const std::string ini =
        "[Dup]\nKey=first\nKEY=second\n"
        "[dup]\nKey=from second section\nOnlySecond=x\n"
        "[]\nShadowed=y\n";
    ExpectAll(ini, {{"Dup", "Key", "first"},
                    {"Dup", "OnlySecond", "DEF"}, // later sections of the name are never read
                    {"", "Shadowed", "DEF"}});    // the unnamed first section comes before "[]"
}

TEST(Profile, SectionHeaders) {
    const std::string ini =
        "[ Padded ]\nP=1\n"
        "\t[Indented]\nI=2\n"
        "[Trailing] junk\nT=3\n"
        "[Last]Bracket] tail\nL=4\n"
        "[Unclosed\nU=5\n"
        "[Bracket=6\n";
    ExpectAll(ini, {{"Padded", "P", "1"},
                    {"Indented", "I", "2"},
                    {"Trailing", "T", "3"},
                    {"Last]Bracket", "L", "4"},
                    {"Last", "L", "DEF"},
                    {"Unclosed", "U", "DEF"},
                    {"Last]Bracket", "U", "5"},         // a header without ']' is not a header
                    {"Last]Bracket", "[Bracket", "6"}}); // ...but a key line
}

TEST(Profile, QuotesLoseOneMatchingPair) {
    const std::string ini =
        "[Q]\nD=\"double\"\nS='single'\nM=\"mixed'\nLone=\"\nPair=\"\"\nIn=\"a\"b\"\n"
        "Pad=  \"  inner  \"  \nMid=say \"hi\"\n";
    ExpectAll(ini, {{"Q", "D", "double"},
                    {"Q", "S", "single"},
                    {"Q", "M", "\"mixed'"},
                    {"Q", "Lone", "\""},
                    {"Q", "Pair", ""},
                    {"Q", "In", "a\"b"},
                    {"Q", "Pad", "  inner  "},
                    {"Q", "Mid", "say \"hi\""}});
}

TEST(Profile, QuotedValueThatJustFitsLosesItsLastCharacter) {
    // Wine drops the closing quote by dropping the last copied character,
    // which is a real one whenever the closing quote itself was cut off.
    const std::string ini = "[Q]\nSix=\"abcdef\"\nPair=\"\"\n";
    const struct { DWORD size; DWORD ret; const char* text; } table[] = {
        {9, 6, "abcdef"}, {8, 6, "abcdef"}, {7, 5, "abcde"}, {6, 5, "abcde"},
        {5, 4, "abcd"},   {2, 1, "a"},      {1, 0, ""},
    };
    for (const auto& t : table) {
        SCOPED_TRACE(t.size);
        EXPECT_ANSWER(Read(ini, "Q", "Six", "DEF", t.size), t.ret, t.text);
        EXPECT_ANSWER(Read(ini, "Q", "Missing", "\"abcdef\"", t.size), t.ret, t.text);
        EXPECT_ANSWER(Read(nullptr, "Q", "Missing", "\"abcdef\"", t.size), t.ret, t.text);
    }
    EXPECT_ANSWER(Read(ini, "Q", "Pair", "DEF", 1), 0, "");
}

TEST(Profile, DefaultLosesTrailingSpacesOnly) {
    const std::string ini = "[S]\nK=v\n";
    EXPECT_ANSWER(Read(ini, "S", "Missing", "  lead and trail  "), 16, "  lead and trail");
    EXPECT_ANSWER(Read(ini, "S", "Missing", "tab\t "), 4, "tab\t");
    EXPECT_ANSWER(Read(ini, "S", "Missing", "   "), 1, " "); // the first character always stays
    EXPECT_ANSWER(Read(ini, "S", "Missing", ""), 0, "");
    EXPECT_ANSWER(Read(ini, "S", "Missing", nullptr), 0, "");
    EXPECT_ANSWER(Read(nullptr, "S", "K", "fallback  "), 8, "fallback");
    EXPECT_ANSWER(Read(std::string(), "S", "K", "empty file"), 10, "empty file");
}

TEST(Profile, TruncationAndTinyBuffers) {
    const std::string ini = "[S]\nTen=0123456789\n";
    EXPECT_ANSWER(Read(ini, "S", "Ten", "DEF", 11), 10, "0123456789");
    EXPECT_ANSWER(Read(ini, "S", "Ten", "DEF", 10), 9, "012345678");
    EXPECT_ANSWER(Read(ini, "S", "Ten", "DEF", 2), 1, "0");
    EXPECT_ANSWER(Read(ini, "S", "Ten", "DEF", 1), 0, "");
    EXPECT_ANSWER(Read(ini, "S", "Missing", "long default", 5), 4, "long");

    char untouched[2] = {'#', '#'};
    EXPECT_EQ(sim::ReadProfileString(&ini, "S", "Ten", "DEF", untouched, 0), 0u);
    EXPECT_EQ(untouched[0], '#');
    EXPECT_EQ(sim::ReadProfileString(&ini, "S", "Ten", "DEF", nullptr, 64), 0u);
}

TEST(Profile, LineEndings) {
    for (const char* sep : {"\r\n", "\n", "\r", "\n\r", "\r\r\n"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(sep)));
        std::string s(sep);
        std::string ini = "[S]" + s + "A=1" + s + "B = two " + s + "C=last";
        ExpectAll(ini, {{"S", "A", "1"}, {"S", "B", "two"}, {"S", "C", "last"}});
        ExpectAll(ini + s, {{"S", "C", "last"}});
    }
    ExpectAll(std::string("[S]\nK=v\x1a"), {{"S", "K", "v"}}); // a DOS end-of-file mark is a blank
}

TEST(Profile, NulEndsNamesAndValuesAfterTrimming) {
    using namespace std::string_literals;
    const std::string ini = "[S]\nLead=\0hidden\nMid=ab\0cd\nCut\0off=c\nSp \0=s\n\0Hidden=h\n[N\0ame]\nK=n\n"s;
    ExpectAll(ini, {{"S", "Lead", ""},
                    {"S", "Mid", "ab"},
                    {"S", "Cut", "c"},
                    {"S", "Sp", "DEF"}, // the blank before the NUL is not trailing
                    {"S", "Hidden", "DEF"},
                    {"N", "K", "n"}});
}

TEST(Profile, ByteOrderMarksDecodeTheFile) {
    const std::string utf8 = "\xef\xbb\xbf[S]\r\nK=v\xc3\xa9\r\n";
    EXPECT_ANSWER(Read(utf8, "S", "K"), 2, "v\xe9");
    const char le[] = "\xff\xfe[\0S\0]\0\n\0K\0=\0v\0\xe9\0";
    EXPECT_ANSWER(Read(std::string(le, sizeof le - 1), "S", "K"), 2, "v\xe9");
    const char be[] = "\xfe\xff\0[\0S\0]\0\n\0K\0=\0v\0\xe9";
    EXPECT_ANSWER(Read(std::string(be, sizeof be - 1), "S", "K"), 2, "v\xe9");
    EXPECT_ANSWER(Read(std::string("\xef\xbb[S]\nK=v\n"), "S", "K"), 3, "DEF"); // not a whole mark
}

TEST(Profile, HugeAndMalformedInputStaysInBounds) {
    std::string ini = "[L]\nV=" + std::string(100000, 'x') + "\n" + std::string(50000, '[') + "\n" +
                      std::string(50000, ']') + "\n" + std::string(40000, '=') + "\n[M]\n";
    for (int i = 0; i < 20000; ++i) ini += "k" + std::to_string(i) + "=v" + std::to_string(i) + "\n";
    Answer a = Read(ini, "L", "V", "DEF", 100001);
    EXPECT_EQ(a.ret, 100000u);
    EXPECT_EQ(a.text, std::string(100000, 'x'));
    EXPECT_ANSWER(Read(ini, "L", "V", "DEF", 65536), 65535, std::string(65535, 'x'));
    EXPECT_ANSWER(Read(ini, "M", "k19999"), 6, "v19999");

    const std::string bad[] = {"[", "]", "=", "[]", "\"", "\xff\xfe", "\xff\xfe[", "\xef\xbb\xbf", "\xef\xbb\xbf\xc3",
                               std::string(3, '\0'), "[S]\n" + std::string(1000, '\0')};
    for (const std::string& file : bad) EXPECT_ANSWER(Read(file, "S", "K"), 3, "DEF");
}

TEST(Profile, ListFormsAnswerAnEmptyList) {
    const std::string ini = "[S]\nK=v\n";
    char buf[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(sim::ReadProfileString(&ini, nullptr, "K", "DEF", buf, sizeof buf), 0u);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], '\0');
    EXPECT_EQ(sim::ReadProfileString(&ini, "S", nullptr, "DEF", buf, 1), 0u);
    EXPECT_EQ(buf[0], '\0');
}

} // namespace
