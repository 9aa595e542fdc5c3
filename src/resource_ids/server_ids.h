// Resource identifiers of the COM server's registration resources.
#pragma once

// REGISTRY: the module script (AppID and the Outlook add-in key) and the two class scripts.
#define IDR_VANTREL           101
#define IDR_ADDINPROPERTYPAGE 103
#define IDR_CONNECT           105

// BITMAP: the options page's toolbox image, named by its ToolboxBitmap32 entry ("<path>, 102").
#define IDB_ADDINPROPERTYPAGE 102

// TYPELIB: the type library VantrelLib, where LoadTypeLib looks for it in a module.
#define IDR_TYPELIB           1
