// Gives the camera with serial number SERIAL the address ADDRESS, keeping its other LAN
// settings, and waits until the camera itself reports the new address.
//
//   prowlnet-script examples/change-ip.js SERIAL ADDRESS
//
// Exit status: 0 when the camera confirmed; 1 when it was not found or did not confirm.

if (WScript.Arguments.length != 2) {
  WScript.StdErr.WriteLine("usage: change-ip.js SERIAL ADDRESS");
  WScript.Quit(2);
}
var serial = WScript.Arguments(0);
var address = WScript.Arguments(1);
var control = new ActiveXObject("Prowlnet.CProwlnet");

function attribute(xml, name) {
  var match = new RegExp("\\b" + name + "=\"([^\"]*)\"").exec(xml);
  return match ? match[1] : "";
}

// The table index of the camera with serial number `serial`, or -1.
function indexOf(serial) {
  var count = control.GetIPCCount();
  for (var i = 0; i < count; i++) {
    if (attribute(control.GetIPCInfoXML(i), "SerialNumber") == serial) {
      return i;
    }
  }
  return -1;
}

// Searches for up to `seconds` until the camera is in the table; its index, or -1.
function find(serial, seconds) {
  for (var waited = 0; waited < seconds * 10; waited++) {
    var index = indexOf(serial);
    if (index >= 0) {
      return index;
    }
    WScript.Sleep(100);
  }
  return -1;
}

function fail(message) {
  WScript.StdErr.WriteLine(message);
  control.StopSearch();
  WScript.Quit(1);
}

control.StartSearch();
var index = find(serial, 10);
if (index < 0) {
  fail("Camera " + serial + " was not found.");
}
var xml = control.GetIPCInfoXML(index);
var old = attribute(xml, "IPAddress");
WScript.Echo("Camera " + serial + " is at " + old + ".");

xml = xml.replace("IPAddress=\"" + old + "\"", "IPAddress=\"" + address + "\"");
var status = control.ModifyIPCXML(index, xml);
if (status != 0) {
  fail("ModifyIPCXML failed: " + status + ".");
}

// The control has already put the new settings in its own table. To hear the camera itself,
// search afresh: give the search thread a moment to send the change, because stopping drops
// what it has not sent yet, then start with an empty table and wait for the camera's answer.
WScript.Sleep(1000);
control.StopSearch();
control.StartSearch();
index = find(serial, 10);
var now = index < 0 ? "" : attribute(control.GetIPCInfoXML(index), "IPAddress");
if (now != address) {
  fail("Camera " + serial + " did not confirm: it reports " + (now == "" ? "nothing" : now) + ".");
}
WScript.Echo("Camera " + serial + " confirmed its new address " + address + ".");
control.StopSearch();
