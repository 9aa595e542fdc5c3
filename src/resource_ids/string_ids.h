// String table identifiers of Vantrel.dll.
#pragma once

#define IDS_PAGE_TITLE 101
