// Offers the "Shutdown" page to Outlook's Options dialog: the body of the connection
// object's OptionsPagesAdd handler.
#pragma once

#include <windows.h>
#include <oaidl.h>

// Adds "Vantrel.AddinPropertyPage" titled with string 101 to Outlook's page collection.
// A failure is logged; nothing escapes into Outlook's event call. No-throw.
void Event_OptionsPagesAdd(IDispatch* pages);
