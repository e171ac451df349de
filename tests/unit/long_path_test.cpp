// The extended form that lets a save or a read reach a path past the old Windows length limit.
#include <gtest/gtest.h>

#include <string>

#include "settings/long_path.h"

namespace {

std::wstring extended(const wchar_t* full, size_t cap = 64) {
    wchar_t out[64];
    if (!long_path_form(full, out, cap)) {
        return L"<does not fit>";
    }
    return out;
}

TEST(LongPath, DriveAndNetworkPathsTakeTheirExtendedForm) {
    EXPECT_EQ(extended(L"C:\\Sites\\stairs.lv24"), L"\\\\?\\C:\\Sites\\stairs.lv24");
    EXPECT_EQ(extended(L"z:\\a"), L"\\\\?\\z:\\a");
    EXPECT_EQ(extended(L"\\\\server\\share\\a.lv24"), L"\\\\?\\UNC\\server\\share\\a.lv24");
}

TEST(LongPath, OtherPathsAreLeftAsTheyAre) {
    for (const wchar_t* path : {L"\\\\?\\C:\\a.lv24", L"\\\\?\\UNC\\s\\x\\a", L"\\\\.\\COM12",
                                L"a.lv24", L"C:a.lv24", L"\\a.lv24", L"\\\\", L"\\\\\\x", L""}) {
        EXPECT_EQ(extended(path), path);
    }
}

TEST(LongPath, AResultThatDoesNotFitIsRefused) {
    EXPECT_EQ(extended(L"C:\\abc", 11), L"\\\\?\\C:\\abc"); // ten units and the terminator
    EXPECT_EQ(extended(L"C:\\abc", 10), L"<does not fit>");
    EXPECT_EQ(extended(L"\\\\s\\x", 11), L"<does not fit>");
    EXPECT_EQ(extended(L"", 0), L"<does not fit>");
}

} // namespace
