// An object's events delivered to the script's functions, as WSH connected them: for an object
// created with a prefix, WScript.CreateObject("Prowlnet.CProwlnet", "cam_"), or joined by
// WScript.ConnectObject(object, "cam_"), the event Ring of the object's default outgoing
// interface calls the global function cam_Ring with the event's arguments. An event without such
// a function is ignored; an error in a handler is reported as uncaught and ends the run, as in
// WSH.
#pragma once

#include <duktape.h>

#include <memory>
#include <string>

#include "prowlnet-script/live_objects.h"

namespace script_host {

/// Connects the events of `object` to the functions named with `prefix`, through its
/// IConnectionPointContainer, to the default outgoing interface that its class information
/// (IProvideClassInfo) names.
/// RETURNS
///  Success: S_OK with the connection, which disconnects when destroyed; S_FALSE, with none, for
///           an object without events.
///  Failure: the HRESULT of the connection point's Advise.
HRESULT ConnectEvents(duk_context* ctx, IDispatch* object, const std::string& prefix,
                      std::unique_ptr<EventConnection>* connection);

}  // namespace script_host
