// The machine's defaults (HKLM\SOFTWARE\Vantrel: Enabled, Delay, ShowExitDialog, CloseWinWord,
// WaitForWrites) kept by installer actions in the registry's 64-bit view. The x86 package may
// hold only 32-bit components, whose registry entries land in the 32-bit view (WOW6432Node) on
// 64-bit Windows; the add-in reads the defaults from the 64-bit view whatever its own bitness,
// so that package writes, rolls back and removes them through these actions instead.
//
// The immediate PrepareMachineDefaults hands each script action the state it establishes as its
// CustomActionData; the deferred ApplyMachineDefaults (the same entry point for the write, the
// removal and their rollbacks) makes the registry hold that state. Installer's thread; never
// throws.
#pragma once

#include <windows.h>
#include <msi.h>

#include <array>
#include <optional>
#include <string>

#include "settings/settings_store.h"

namespace Setup {

// The package's script actions that run ApplyMachineDefaults.
constexpr char kWriteMachineDefaultsAction[] = "VantrelWriteMachineDefaults";
constexpr char kWriteMachineDefaultsRollbackAction[] = "VantrelWriteMachineDefaultsRollback";
constexpr char kRemoveMachineDefaultsAction[] = "VantrelRemoveMachineDefaults";
constexpr char kRemoveMachineDefaultsRollbackAction[] = "VantrelRemoveMachineDefaultsRollback";

// The values of every setting, in the order of kSettingRules; an empty optional is a value that
// is absent.
using MachineDefaults = std::array<std::optional<std::string>, kSettingCount>;

// The state as CustomActionData: "Name=value;" for a value, "Name;" for an absent one, '\' before
// each ';' and '\' inside a value. Throws std::bad_alloc.
std::string MachineDefaultsText(const MachineDefaults& defaults);
// The state that text describes; a name it does not mention is left alone (nullopt in `touched`).
struct MachineDefaultsChange {
    MachineDefaults values;
    std::array<bool, kSettingCount> touched{};
};
MachineDefaultsChange ParseMachineDefaults(const std::string& text);

// Makes HKLM\SOFTWARE\Vantrel in the view `view` (KEY_WOW64_64KEY in the product) hold each
// touched value as REG_SZ, or not at all; the key goes when it is left without values or subkeys.
// ERROR_SUCCESS, or the first failure (the other values are still done).
LONG ApplyMachineDefaultsToRegistry(const MachineDefaultsChange& change, REGSAM view) noexcept;

// Immediate: reads the properties ENABLED, DELAY, ... (the values this run writes) and
// VANTREL_MACHINE_ENABLED, ... (what the machine had, as AppSearch read it) and sets the four
// script actions' CustomActionData. Always ERROR_SUCCESS.
UINT PrepareMachineDefaults(MSIHANDLE install) noexcept;
// Deferred: applies its CustomActionData to the 64-bit view. Always ERROR_SUCCESS (a failure is
// written to the installation's log): the defaults are not worth failing an installation for.
UINT ApplyMachineDefaults(MSIHANDLE install) noexcept;

} // namespace Setup
