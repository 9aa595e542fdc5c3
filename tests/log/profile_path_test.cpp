// The paths of the add-in's files in the user's profile: the checked join and the long-path form.
// (Wine's wide file calls take paths past MAX_PATH without the long form, so only here does its
// absence show.)
#include <gtest/gtest.h>

#include <string>

#include "log/profile_path.h"

namespace {

TEST(ProfilePath, JoinsOnlyAPlainNameOntoAFullFolder)
{
    const struct {
        const wchar_t* folder;
        const wchar_t* name;
        const wchar_t* joined; // empty: refused
    } cases[] = {
        {L"C:\\Users\\\u0141ukasz\\AppData\\Roaming", L"Vantrel", L"C:\\Users\\\u0141ukasz\\AppData\\Roaming\\Vantrel"},
        {L"C:\\", L"Vantrel", L"C:\\Vantrel"},
        {L"\\\\server\\share\\Roaming\\", L"Vantrel.log", L"\\\\server\\share\\Roaming\\Vantrel.log"},
        {L"\\\\?\\C:\\deep", L"Vantrel.log", L"\\\\?\\C:\\deep\\Vantrel.log"},
        {L"\\\\?\\UNC\\server\\share", L"Vantrel.log", L"\\\\?\\UNC\\server\\share\\Vantrel.log"},
        {L"", L"Vantrel.log", L""},
        {L"Roaming", L"Vantrel.log", L""},
        {L"\\Roaming", L"Vantrel.log", L""},
        {L"C:Roaming", L"Vantrel.log", L""},
        {L"\\\\", L"Vantrel.log", L""},
        {L"\\\\?\\UNC\\", L"Vantrel.log", L""},
        {L"C:\\Roaming", L"", L""},
        {L"C:\\Roaming", L"..", L""},
        {L"C:\\Roaming", L"..\\Vantrel.log", L""},
        {L"C:\\Roaming", L"D:Vantrel.log", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JoinPath(c.folder, c.name), c.joined) << c.folder << L" + " << c.name;
}

TEST(ProfilePath, ThePathsPastTheShortLimitTakeTheLongForm)
{
    const std::wstring fits = L"C:\\" + std::wstring(244, L'a'); // 247 characters: a folder may still be made
    const std::wstring over = fits + L"b";
    const std::wstring share = L"\\\\server\\share\\" + std::wstring(240, L'a');
    EXPECT_EQ(LongPathForm(fits), fits);
    EXPECT_EQ(LongPathForm(over), L"\\\\?\\" + over);
    EXPECT_EQ(LongPathForm(L"\\\\?\\" + over), L"\\\\?\\" + over) << "already in the long form";
    EXPECT_EQ(LongPathForm(share), L"\\\\?\\UNC\\server\\share\\" + std::wstring(240, L'a'));
    EXPECT_EQ(LongPathForm(L"C:/" + std::wstring(250, L'a')), L"\\\\?\\C:\\" + std::wstring(250, L'a'))
        << "the long form is taken as written: its separators must be backslashes";
}

} // namespace
