// Automation objects created by ProgID through COM activation, as Proxies whose members are the
// object's methods, found by name and called late-bound:
//
//   var control = new ActiveXObject("Prowlnet.CProwlnet");
//   var status = control.StartSearch();   // GetIDsOfNames("StartSearch"), then Invoke
//
// Reading a member looks its name up (an unknown name raises JScript's 438 there, naming the
// member); calling it invokes it as a method. The run's live objects (live_objects.h) hold the
// reference; the proxy releases it when the script drops the proxy, and the run at its end.
#pragma once

#include <duktape.h>

#include <string>
#include <string_view>

#include "prowlnet-script/live_objects.h"

namespace script_host {

/// Defines the globals ActiveXObject and GetObject. Needs a script run (script_run.h).
void DefineActiveXObject(duk_context* ctx);

/// Creates the object registered as `progId` and pushes its proxy, with its id in `*id`; false
/// with JScript's 429 pushed, naming `caller` ("WScript.CreateObject") and the HRESULT.
bool PushCreatedObject(duk_context* ctx, const std::string& progId, std::string_view caller, LiveObjects::Id* id);

/// GetObject(pathname, progId) with the call's arguments at 0 and 1: a new object when pathname
/// is "", as JScript and WSH did; there is no running object (pathname left out) and no file or
/// moniker binding here, so those raise 429 and 432. False with the error pushed.
bool PushObjectFromGetObject(duk_context* ctx, std::string_view caller, LiveObjects::Id* id);

/// The live object that the proxy at `index` stands for; 0 for any other value.
LiveObjects::Id ObjectIdOf(duk_context* ctx, duk_idx_t index);

}  // namespace script_host
