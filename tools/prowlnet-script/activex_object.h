// `new ActiveXObject(progId)`: an automation object created by ProgID through COM activation, as a
// Proxy whose members are the object's methods, found by name and called late-bound.
//
//   var control = new ActiveXObject("Prowlnet.CProwlnet");
//   var status = control.StartSearch();   // GetIDsOfNames("StartSearch"), then Invoke
//
// Reading a member looks its name up (an unknown name throws there, naming the member); calling
// it invokes it as a method. Failures become Errors whose `number` is the HRESULT. The proxy holds
// one reference on the object and releases it when the script drops the proxy, or at the end.
#pragma once

#include <duktape.h>

namespace script_host {

/// Defines the global ActiveXObject. Needs a session (script_host/session.h).
void DefineActiveXObject(duk_context* ctx);

}  // namespace script_host
