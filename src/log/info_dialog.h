// The one way a failure reaches the user: logged, then shown in a modal box "Vantrel".
#pragma once

int InfoDialog(const char* text);
