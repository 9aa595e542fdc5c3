#include "vantrel_module.h"

#include <olectl.h>

#include "addin/addin_interfaces.h"
#include "addin/connect.h"
#include "server_ids.h"
#include "settings/addin_property_page.h"

namespace {

const GUID APPID_Vantrel = {0x4E2B7D91, 0xA0C6, 0x4F35, {0x9B, 0x8E, 0x61, 0xD3, 0xC7, 0xA2, 0x04, 0x5B}};

// The options page's misc-status set, written into its class script as %OLEMISC%.
static_assert((OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
               OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE) == 131473,
              "the OLEMISC text below must match the flags");
const char kAddinPropertyPageMiscStatus[] = "131473";

// The object map, in its order: registration and every other walk over the classes follow it.
ObjectMapEntry g_objectMap[] = {
    {&CLSID_AddinPropertyPage, &CAddinPropertyPage::CreateInstance, false, IDR_ADDINPROPERTYPAGE, "OLEMISC",
     kAddinPropertyPageMiscStatus},
    {&CLSID_Connect, &CConnect::CreateInstance, false, IDR_CONNECT, nullptr, nullptr},
};

// Any exception that no code handles, on any thread of the host, ends the process at once,
// without the system's error report.
LONG WINAPI VantrelUnhandledExceptionFilter(EXCEPTION_POINTERS*) noexcept
{
    return EXCEPTION_EXECUTE_HANDLER;
}

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
    (void)SetUnhandledExceptionFilter(m_pfnPreviousFilter); // returns our own filter
    // Released but not closed: the mutex object lives on with the process.
    (void)ReleaseMutex(m_hMutex); // fails harmlessly when this thread does not own it
}
