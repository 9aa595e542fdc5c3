// CVantrelModule: Vantrel.dll's module object, one per process, constructed when the DLL is
// loaded and destroyed when it is unloaded. Beyond the COM server's work (server_module.h) it
// holds the named mutex "VantrelMutex" and a process-wide unhandled-exception filter while the
// DLL is loaded.
#pragma once

#include <windows.h>

#include "com/server_module.h"

class CVantrelModule : public ComServerModule {
public:
    CVantrelModule() noexcept;
    ~CVantrelModule() override;

private:
    HANDLE m_hMutex;
    LPTOP_LEVEL_EXCEPTION_FILTER m_pfnPreviousFilter;
};

extern CVantrelModule g_module;
