// ActiveXObject for pages written for the original hosts. Include it before the page's own
// script; then `new ActiveXObject("Prowlnet.CProwlnet")` gives an object whose methods are
// called by name on the server's control, synchronously, as such scripts expect. The byte-buffer
// methods GetIPCInfo and ModifyIPC are for applications and cannot be called from a page.
(function () {
  "use strict";
  var token = "{{TOKEN}}";
  var creatable = { "Prowlnet.CProwlnet": true, "Prowlnet.CProwlnet.1": true };

  function ScriptError(message, number) {
    var error = new Error(message);
    error.number = number;
    error.description = message;
    return error;
  }

  function invoke(method, args) {
    var request = new XMLHttpRequest();
    request.open("POST", "/api/invoke", false);
    request.setRequestHeader("Content-Type", "application/json");
    request.setRequestHeader("X-Prowlnet-Token", token);
    request.send(JSON.stringify({ method: method, args: Array.prototype.slice.call(args) }));
    var reply;
    try {
      reply = JSON.parse(request.responseText);
    } catch (e) {
      throw ScriptError("the Prowlnet server did not answer", -2147467259);
    }
    if (request.status !== 200) throw ScriptError(reply.error, reply.number);
    return reply.result;
  }

  window.ActiveXObject = function (progId) {
    if (!creatable[progId]) throw ScriptError("Automation server can't create object: " + progId, -2146827859);
    return new Proxy({}, {
      get: function (target, name) {
        if (typeof name !== "string" || name === "then") return undefined;
        return function () { return invoke(name, arguments); };
      }
    });
  };
})();
