// ActiveXObject for pages written for the original hosts. Include it before the page's own
// script; then `new ActiveXObject("Prowlnet.CProwlnet")` gives an object whose methods are
// called by name on the server's control, synchronously, as such scripts expect. The byte-buffer
// methods GetIPCInfo and ModifyIPC are for applications and cannot be called from a page.
//
// This script holds no secret: the token that calls need comes from the including page's
// prowlnet-token meta element (the server's own page) or from GET /api/token, which the server
// answers only to its own origin. A page of another site that includes this script talks to its
// own origin, since every URL here is relative.
(function () {
  "use strict";
  var token = null;
  var creatable = { "Prowlnet.CProwlnet": true, "Prowlnet.CProwlnet.1": true };
  var E_FAIL = -2147467259;

  function ScriptError(message, number) {
    var error = new Error(message);
    error.number = number;
    error.description = message;
    return error;
  }

  /// The reply of a synchronous request as JSON; throws when the server gave none.
  function replyOf(request) {
    try {
      return JSON.parse(request.responseText);
    } catch (e) {
      throw ScriptError("the Prowlnet server did not answer", E_FAIL);
    }
  }

  function pageToken() {
    if (token !== null) return token;
    var meta = document.querySelector('meta[name="prowlnet-token"]');
    if (meta) return (token = meta.content);
    var request = new XMLHttpRequest();
    request.open("GET", "/api/token", false);
    request.send();
    var reply = replyOf(request);
    if (request.status !== 200) throw ScriptError(reply.error, E_FAIL);
    return (token = reply.token);
  }

  function invoke(method, args) {
    var request = new XMLHttpRequest();
    request.open("POST", "/api/invoke", false);
    request.setRequestHeader("Content-Type", "application/json");
    request.setRequestHeader("X-Prowlnet-Token", pageToken());
    request.send(JSON.stringify({ method: method, args: Array.prototype.slice.call(args) }));
    var reply = replyOf(request);
    if (request.status !== 200) throw ScriptError(reply.error, reply.number === undefined ? E_FAIL : reply.number);
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
