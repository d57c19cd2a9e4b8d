// The whole version table, and the rules of the service-pack text.
#include "setup/oskind.h"
#include <gtest/gtest.h>
#include <string>

TEST(OsKind, WholeTable) {
    struct {
        unsigned long platform, major, minor;
        const char* csd;
        OsKind kind;
        const char* key;
        bool subDir;
    } cases[] = {
        {1, 4, 10, "", 14, "W98", true},        {1, 4, 10, " B", 14, "W98", true},
        {1, 4, 0, "", 11, "W95A", true},        {1, 4, 0, " A", 10, "WIN95", false},
        {1, 4, 0, " B", 12, "W95B", true},      {1, 4, 0, "xb", 12, "W95B", true},
        {1, 4, 0, " c", 13, "W95C", true},      {1, 4, 0, " C ", 13, "W95C", true},
        {1, 4, 0, "B", 10, "WIN95", false},     {1, 4, 0, " ", 10, "WIN95", false},
        {1, 4, 0, "B ", 10, "WIN95", false},    {1, 4, 90, " ", 10, "WIN95", false},
        {1, 4, 1, "", 10, "WIN95", false},      {1, 5, 0, "", 10, "WIN95", false},
        {2, 3, 50, "", 22, "NT35X", false},     {2, 3, 51, "Service Pack 5", 22, "NT35X", false},
        {2, 4, 0, "Service Pack 6a", 23, "NT40", true}, {2, 3, 1, "", 21, "NT31", false},
        {2, 3, 10, "", 20, "WINNT", false},     {2, 5, 0, "", 20, "WINNT", false},
        {2, 4, 1, "", 20, "WINNT", false},      {2, 6, 1, "Service Pack 1", 20, "WINNT", false},
        {0, 3, 1, "", 0, nullptr, false},       {3, 4, 0, "", 0, nullptr, false},
    };
    for (const auto& c : cases) {
        std::string what = std::to_string(c.platform) + " " + std::to_string(c.major) + "." +
                           std::to_string(c.minor) + " '" + c.csd + "'";
        OsKind kind = ClassifyVersion(c.platform, c.major, c.minor, c.csd);
        EXPECT_EQ(kind, c.kind) << what;
        if (c.key) EXPECT_STREQ(OsKeyOf(kind), c.key) << what;
        else EXPECT_EQ(OsKeyOf(kind), nullptr) << what;
        EXPECT_EQ(ReadsSubDir(kind), c.subDir) << what;
    }
}

TEST(OsKind, KindsOutsideTheTableHaveNoKey) {
    for (OsKind k : {1ul, 15ul, 19ul, 24ul, 0xFFFFFFFFul}) {
        EXPECT_EQ(OsKeyOf(k), nullptr) << k;
        EXPECT_FALSE(ReadsSubDir(k)) << k;
    }
}
