// The one way a failure reaches the user: logged, then shown in a modal box "Vantrel". Runs on
// the calling thread (Outlook's); never throws.
#pragma once

int InfoDialog(const char* text) noexcept;
