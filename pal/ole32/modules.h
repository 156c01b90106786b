// The in-process server modules loaded in this process, each held for the apartments that
// created its objects, and unloaded when none holds it any more.
#pragma once

#include <string>

#include "ole32/apartment.h"
#include "pal/objbase.h"

namespace pal::ole32 {

/// The DllGetClassObject of the module at `hostPath`, loading the module for `apartment` if
/// needed; an HRESULT failure when it cannot be loaded or lacks the entry point.
HRESULT UseModule(const std::string& hostPath, ApartmentId apartment, LPFNGETCLASSOBJECT* entry);

/// Lets go of the modules held for `apartment` whose DllCanUnloadNow answers S_OK.
void FreeUnusedModules(ApartmentId apartment);

/// Lets go of every module held for `apartment`, which has ended.
void ReleaseApartment(ApartmentId apartment);

}  // namespace pal::ole32
