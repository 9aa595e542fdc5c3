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
