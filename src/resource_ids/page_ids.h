// Resource identifiers of the options page (dialog template 104 and its controls).
#pragma once

#define IDD_ADDINPROPERTYPAGE 104

#define IDC_PAGE_ENABLED          218 // "Enable Vantrel"                  -> "Enabled"
#define IDC_PAGE_SHOW_EXIT_DIALOG 236 // "Show Shutdown Progress Dialog"   -> "ShowExitDialog"
#define IDC_PAGE_CLOSE_WINWORD    237 // "Close winword.exe ..."           -> "CloseWinWord"
#define IDC_PAGE_DELAY            235 // seconds to wait                   -> "Delay"
#define IDC_PAGE_VERSION          210 // the add-in's version number
#define IDC_PAGE_POLICY_NOTE      238 // made at run time, not in the template: "set by your administrator"
