// Resource identifiers of Vantrel.dll.
#pragma once

// Exit progress dialog and its progress bar.
#define IDD_EXITPROGDLG   215
#define IDC_EXIT_PROGRESS 228
