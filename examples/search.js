// Searches the local network for cameras for a few seconds and prints a table of what they
// answered, read from each camera's IPC_INFO document.
//
//   prowlnet-script examples/search.js [SECONDS]
//
// The control broadcasts a search request every 2 seconds; SECONDS (default 5) should cover at
// least two of them.

var seconds = 5;
if (WScript.Arguments.length > 0) {
  seconds = parseInt(WScript.Arguments(0), 10);
}

// The value of the attribute `name` in an XML text, or "" when there is none.
function attribute(xml, name) {
  var match = new RegExp("\\b" + name + "=\"([^\"]*)\"").exec(xml);
  return match ? match[1] : "";
}

function pad(text, width) {
  while (text.length < width) {
    text = text + " ";
  }
  return text;
}

function row(serial, mac, address, netmask, gateway, web) {
  return pad(serial, 16) + pad(mac, 19) + pad(address, 16) + pad(netmask, 16) + pad(gateway, 16) + web;
}

var control = new ActiveXObject("Prowlnet.CProwlnet");
if (control.StartSearch() != 0) {
  WScript.StdErr.WriteLine("The search did not start.");
  WScript.Quit(1);
}
WScript.Sleep(seconds * 1000);

var count = control.GetIPCCount();
WScript.Echo(row("SERIAL", "MAC", "ADDRESS", "NETMASK", "GATEWAY", "WEB"));
for (var i = 0; i < count; i++) {
  var xml = control.GetIPCInfoXML(i);
  WScript.Echo(row(attribute(xml, "SerialNumber"), attribute(xml, "MacAddress"), attribute(xml, "IPAddress"),
                   attribute(xml, "Netmask"), attribute(xml, "Gateway"), attribute(xml, "WEBPort")));
}
WScript.Echo(count + " camera(s) found.");
control.StopSearch();
