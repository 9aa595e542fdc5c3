// A connection object driven by a fake Outlook, with clean settings and an empty log.
#pragma once

#include <gtest/gtest.h>
#include <olectl.h>
#include <wrl/client.h>

#include "addin/addin_interfaces.h"
#include "addin/connect.h"
#include "addin/explorer_watcher.h"
#include "fake_outlook/fake_outlook.h"
#include "log/log_file.h"
#include "outlook/outlook.h"
#include "settings/settings_store.h"
#include "support/test_support.h"

class AddinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettingsKeys();
        SetStringSetting(HKEY_CURRENT_USER, "Delay", "30"); // no seeding unless a test wants it
        LogFile::DestroyInstance();
        DeleteFileA(AddinLogPath().c_str());
        m_app = fake::FakeApplication::Create(Version());
    }
    void TearDown() override
    {
        ReleaseAddin();
        m_app.Reset();
        DeleteSettingsKeys();
    }
    virtual std::string Version() const { return "16.0.0.0"; }

    void CreateAddin()
    {
        ASSERT_EQ(CConnect::CreateInstance(nullptr, IID__IDTExtensibility2, reinterpret_cast<void**>(m_ext.GetAddressOf())),
                  S_OK);
        m_connect = static_cast<CConnect*>(m_ext.Get());
    }
    // Created, connected and started, with `explorers` Explorers open beforehand.
    void StartAddin(int explorers = 1)
    {
        for (int i = 0; i < explorers; ++i)
            m_app->AddExplorerQuietly();
        CreateAddin();
        ASSERT_EQ(m_ext->OnConnection(m_app.Get(), ext_cm_Startup, nullptr, nullptr), S_OK);
        ASSERT_EQ(m_ext->OnStartupComplete(nullptr), S_OK);
    }
    void ReleaseAddin()
    {
        m_connect = nullptr;
        m_ext.Reset();
    }
    // Serves this thread's messages until Quit has been called and the add-in released.
    bool PumpUntilQuit();
    fake::FakeExplorer* ExplorerAt(size_t index) { return m_app->ExplorersObject().Items()[index].Get(); }
    size_t AppSinks() { return m_app->SinkCount(IID_Outlook_ApplicationEvents); }
    size_t ExplorersSinks() { return m_app->ExplorersObject().SinkCount(IID_Outlook_ExplorersEvents); }
    // The log from the first line that contains `from`.
    static std::vector<std::string> LogFrom(const std::string& from)
    {
        std::vector<std::string> all = AddinLogMessages();
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i].find(from) != std::string::npos)
                return std::vector<std::string>(all.begin() + static_cast<long>(i), all.end());
        return {};
    }

    Microsoft::WRL::ComPtr<fake::FakeApplication> m_app;
    Microsoft::WRL::ComPtr<_IDTExtensibility2> m_ext;
    CConnect* m_connect = nullptr;
};
