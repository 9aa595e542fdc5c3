// Outlook's list of stores as the request to end Outlook reads it and the hold watches it: a
// store whose call fails is logged and skipped without hiding the ones after it, a file is
// watched once whatever its spelling, and a folder or a path on a share is never read by
// attribute. The drive types and file attributes go through stand-ins that record what is asked.
#include "addin_fixture.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "addin/outlook_end_request.h"
#include "win32/text_convert.h"
#include "shutdown/write_watch.h"

namespace {

std::mutex g_askedLock;
std::vector<std::wstring> g_attributesAsked;
std::vector<std::wstring> g_rootsAsked;

// "N:" is a mapped drive whose server does not answer: Windows reports no root for it.
UINT WINAPI DrivesWithAnUnreachableN(LPCWSTR root)
{
    {
        std::lock_guard<std::mutex> lock(g_askedLock);
        g_rootsAsked.push_back(root);
    }
    return (root[0] == L'N' || root[0] == L'n') ? DRIVE_NO_ROOT_DIR : GetDriveTypeW(root);
}

BOOL WINAPI RecordedAttributes(LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID information)
{
    {
        std::lock_guard<std::mutex> lock(g_askedLock);
        g_attributesAsked.push_back(path);
    }
    return GetFileAttributesExW(path, level, information);
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring Upper(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(towupper(c)); });
    return text;
}

class StoreListTest : public AddinTest {
protected:
    void TearDown() override
    {
        UseDriveTypeReader(nullptr);
        UseFileAttributeReader(nullptr);
        LogFile::DestroyInstance();
        AddinTest::TearDown();
    }
};

TEST_F(StoreListTest, EachStoreIsWatchedOrSkippedWithItsLine)
{
    ScopedTempDir dir;
    const std::wstring pst = Wide(dir.file("Outlook.pst"));
    const std::wstring ost = Wide(dir.file("Mailbox.ost"));
    for (const std::wstring& file : {pst, ost})
        ASSERT_TRUE(UniqueFileHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
    const std::wstring unc = L"\\\\fileserver\\mail\\Archive.pst";
    const std::wstring mapped = L"N:\\mail\\Archive.pst";
    const std::string hold = "ShutdownThread<WaitForWrites> ==> ";
    const struct {
        std::wstring path;
        HRESULT filePathFails;
        std::string line;
    } stores[] = {
        {pst, S_OK, hold + "[WATCHING] " + dir.file("Outlook.pst")},
        {ost, E_FAIL, "Connect<ReadDataFiles> ==> [STORE 2 SKIPPED] FilePath [HRES 80004005]"},
        {Upper(pst), S_OK, hold + "[NOT WATCHED] " + ToNarrow(Upper(pst), CP_ACP) + ": the file of store 1"},
        {Wide(dir.path()), S_OK, hold + "[NOT WATCHED] " + dir.path() + ": a folder"},
        {unc, S_OK, hold + "[NOT WATCHED] \\\\fileserver\\mail\\Archive.pst: on a network share"},
        {mapped, S_OK, hold + "[NOT WATCHED] N:\\mail\\Archive.pst: on a network share"},
        {L"", S_OK, hold + "[NO FILE] store 7 lives on a server "},
        {ost, S_OK, hold + "[WATCHING] " + dir.file("Mailbox.ost")},
    };
    for (const auto& store : stores) {
        fake::FakeStore& added = m_app->NameSpaceObject().AddStore(store.path);
        if (FAILED(store.filePathFails))
            added.FailCall("FilePath", store.filePathFails);
    }
    std::atomic<const char*> lastCall{nullptr};
    const char* callWhileReading = nullptr;
    m_app->NameSpaceObject().OnStoresCall([&] { callWhileReading = lastCall.load(); });
    ASSERT_NE(OpenAddinLog(), nullptr);
    UseDriveTypeReader(DrivesWithAnUnreachableN);
    UseFileAttributeReader(RecordedAttributes);

    OutlookDataFiles files;
    EXPECT_EQ(AskOutlookToEnd(m_app.Get(), &lastCall, &files), S_OK);
    EXPECT_STREQ(callWhileReading, "Stores") << "a Stores call that never answers must be reported as such";
    EXPECT_EQ(files.result, S_OK);
    ASSERT_EQ(files.stores.size(), std::size(stores) - 1) << "only the failed store is left out";
    EXPECT_EQ(files.stores.back().number, 8);

    const WriteWatch watch(files.stores);
    EXPECT_EQ(watch.WatchedFiles(), 2u);
    const std::vector<std::string> log = AddinLogMessages();
    for (const auto& store : stores)
        EXPECT_NE(std::find(log.begin(), log.end(), store.line), log.end()) << store.line;
    std::lock_guard<std::mutex> lock(g_askedLock);
    for (const std::wstring& asked : g_attributesAsked) {
        EXPECT_EQ(asked.find(L"fileserver"), std::wstring::npos) << "a share was read";
        EXPECT_EQ(asked.find(L"N:\\"), std::wstring::npos) << "a share was read";
    }
    for (const std::wstring& root : g_rootsAsked)
        EXPECT_EQ(root.size(), 3u) << "more than the bare root was asked about";
    EXPECT_NE(std::find(g_rootsAsked.begin(), g_rootsAsked.end(), L"N:\\"), g_rootsAsked.end());
}

} // namespace
