#include "vantrel_module.h"

#include <olectl.h>

#include "addin/addin_interfaces.h"
#include "addin/connect.h"
#include "log/crash_record.h"
#include "server_ids.h"
#include "shutdown/shutdown_thread.h"
#include "settings/addin_property_page.h"

namespace {

const GUID APPID_Vantrel = {0x4E2B7D91, 0xA0C6, 0x4F35, {0x9B, 0x8E, 0x61, 0xD3, 0xC7, 0xA2, 0x04, 0x5B}};

// A 32-bit value as decimal text, made by the compiler.
struct DecimalText {
    char text[11];
};
constexpr DecimalText ToDecimalText(DWORD value)
{
    DecimalText result{};
    int length = 1;
    for (DWORD rest = value / 10; rest != 0; rest /= 10)
        ++length;
    for (int i = length - 1; i >= 0; --i, value /= 10)
        result.text[i] = static_cast<char>('0' + value % 10);
    return result;
}

// The options page's misc-status set, written into its class script as %OLEMISC%.
constexpr DecimalText kAddinPropertyPageMiscStatus = ToDecimalText(CAddinPropertyPage::kMiscStatus);

// The object map, in its order: registration and every other walk over the classes follow it.
ObjectMapEntry g_objectMap[] = {
    {&CLSID_AddinPropertyPage, &CAddinPropertyPage::CreateInstance, false, IDR_ADDINPROPERTYPAGE, "OLEMISC",
     kAddinPropertyPageMiscStatus.text},
    {&CLSID_Connect, &CConnect::CreateInstance, false, IDR_CONNECT, nullptr, nullptr},
};

} // namespace

CVantrelModule g_module;

CVantrelModule::CVantrelModule() noexcept
    : ComServerModule(g_objectMap, ARRAYSIZE(g_objectMap), APPID_Vantrel, IDR_VANTREL),
      // Owned by the loading thread; when the mutex exists already, this opens it. The handle is
      // not checked: the mutex only tells other programs that the DLL is loaded here.
      m_hMutex(CreateMutexA(nullptr, TRUE, "VantrelMutex")),
      m_pfnPreviousFilter(SetUnhandledExceptionFilter(&VantrelUnhandledExceptionFilter))
{
}

CVantrelModule::~CVantrelModule()
{
    // The filter before ours goes back only while the module's own registration is the current
    // one: a filter installed after it (one of Outlook's, or the shutdown worker's, which is the
    // same function registered again and stays for the rest of the process) stays. There is no
    // exchange that compares, so a later one taken out here is put straight back.
    const LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(m_pfnPreviousFilter);
    if (current != &VantrelUnhandledExceptionFilter || WorkerFilterInstalled())
        (void)SetUnhandledExceptionFilter(current);
    CloseCrashRecord(); // no filter of this DLL's is left to write it
    // Released but not closed: the mutex object lives on with the process.
    (void)ReleaseMutex(m_hMutex); // fails harmlessly when this thread does not own it
}
