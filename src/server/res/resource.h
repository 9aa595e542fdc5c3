// Resource identifiers of Vantrel.dll.
#pragma once
