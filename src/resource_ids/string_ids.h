// String table identifiers of Vantrel.dll. Each string exists in every language of
// src/server/res/strings*.rc; the English ones are the texts the log keeps.
#pragma once

#define IDS_PAGE_TITLE 101        // the options page's tab: "Shutdown"
#define IDS_PAGE_POLICY_NOTE 102  // the page's note when a setting is enforced by policy

// The info dialog's messages (the box shows the translation, the log line the English text).
#define IDS_INFO_APPLICATION_ADVISE 103   // "Unable to establish Application connection point"
#define IDS_INFO_EXPLORERS_ADVISE 104     // "Failed to establish Explorers connection point"
#define IDS_INFO_EXPLORERS_UNADVISE 105   // "Failed to remove Explorers connection point"
#define IDS_INFO_APPLICATION_UNADVISE 106 // "Error removing Application connection"

// The installer actions' prompt before they close a running Outlook.
#define IDS_SETUP_CLOSE_OUTLOOK 107

// The installer package's own messages, which an action of the package sets as the properties
// its launch conditions show (installer_messages.rc has them in every language). Their own block
// of sixteen.
#define IDS_SETUP_NEEDS64 120   // the x64 package on a machine with 32-bit Office
#define IDS_SETUP_NEEDS32 121   // the x86 package on a machine with 64-bit Office
#define IDS_SETUP_DOWNGRADE 122 // a newer version is installed
