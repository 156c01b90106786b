// Prints this computer's network parameters, as the control sees them, and an address on its
// subnet that nothing seems to use (the control finds one by ping).
//
//   prowlnet-script examples/host.js

var names = ["Address", "Netmask", "Gateway", "DNS 1", "DNS 2"];
var control = new ActiveXObject("Prowlnet.CProwlnet");

for (var i = 0; i < names.length; i++) {
  var value = control.GetNetworkParam(i);
  WScript.Echo(names[i] + ":" + "         ".substring(names[i].length) + (value == "" ? "(none)" : value));
}
WScript.Echo("Free address: " + control.GetOneIPAddress());
