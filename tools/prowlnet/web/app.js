// The page of the Prowlnet web host: the cameras found, kept current by the server's events, this
// computer's parameters, and a form to change one camera's LAN settings. Camera texts come from
// the network: they are only ever set as text, never as markup.
"use strict";

var token = document.querySelector('meta[name="prowlnet-token"]').content;
var cameras = {};  // by serial number
var editing = null;

function $(id) { return document.getElementById(id); }

function api(method, path, body) {
  var options = { method: method, headers: {} };
  if (method !== "GET") {
    options.headers["X-Prowlnet-Token"] = token;
    options.headers["Content-Type"] = "application/json";
    options.body = JSON.stringify(body || {});
  }
  return fetch(path, options).then(function (response) {
    return response.json().then(function (json) {
      if (!response.ok) throw new Error(json.error || ("HTTP " + response.status));
      return json;
    });
  });
}

function isDottedQuad(text) {
  var parts = text.split(".");
  if (parts.length !== 4) return false;
  return parts.every(function (part) { return /^[0-9]{1,3}$/.test(part) && Number(part) <= 255; });
}

function isNetmask(text) {
  if (!isDottedQuad(text)) return false;
  var bits = text.split(".").map(function (p) { return ("00000000" + Number(p).toString(2)).slice(-8); }).join("");
  return /^1+0*$/.test(bits);
}

function cell(row, text, className) {
  var td = document.createElement("td");
  td.textContent = text;
  if (className) td.className = className;
  row.appendChild(td);
  return td;
}

function renderCamera(camera) {
  var rows = $("camera-rows");
  var row = document.getElementById("camera-" + camera.serialNumber);
  if (!row) {
    row = document.createElement("tr");
    row.id = "camera-" + camera.serialNumber;
    rows.appendChild(row);
  }
  row.textContent = "";
  row.className = camera.reachable ? "" : "unreachable";
  row.dataset.serial = camera.serialNumber;
  cell(row, String(camera.index));
  cell(row, camera.serialNumber, "serial");
  cell(row, camera.deviceType);
  cell(row, camera.ipAddress + (camera.reachable ? "" : " !"), "ip");
  cell(row, camera.netmask);
  cell(row, camera.gateway);
  cell(row, camera.macAddress);
  cell(row, camera.dhcp ? "on" : "off");
  cell(row, String(camera.videoPort));
  cell(row, String(camera.webPort));
  cell(row, String(camera.ptzPort));
  var action = document.createElement("td");
  var button = document.createElement("button");
  button.type = "button";
  button.textContent = "Change";
  button.addEventListener("click", function () { openChange(camera.serialNumber); });
  action.appendChild(button);
  row.appendChild(action);
  $("camera-count").textContent = String(Object.keys(cameras).length);
}

function setCamera(camera) {
  cameras[camera.serialNumber] = camera;
  renderCamera(camera);
}

function clearCameras() {
  cameras = {};
  $("camera-rows").textContent = "";
  $("camera-count").textContent = "0";
}

function loadCameras() {
  return api("GET", "/api/cameras").then(function (list) {
    clearCameras();
    list.forEach(setCamera);
  });
}

function loadHost() {
  return api("GET", "/api/host").then(function (host) {
    document.querySelectorAll("[data-host]").forEach(function (element) {
      element.textContent = host[element.dataset.host] || "";
    });
  });
}

function showSearching(searching) {
  $("search-toggle").textContent = searching ? "Stop search" : "Start search";
  $("search-state").textContent = searching ? "searching" : "not searching";
  $("search-toggle").dataset.searching = searching ? "1" : "";
}

function status(text, kind) {
  var element = $("change-status");
  element.textContent = text;
  element.className = kind || "";
}

function openChange(serial) {
  var camera = cameras[serial];
  editing = serial;
  $("change-serial").textContent = serial;
  var form = $("change-form");
  ["ipAddress", "netmask", "gateway", "dns1", "dns2"].forEach(function (name) {
    form.elements[name].value = camera[name] || "";
    form.elements[name].classList.remove("invalid");
  });
  form.elements.dhcp.checked = !!camera.dhcp;
  status("");
  $("change").hidden = false;
}

/// The fields that differ from the camera's own settings, or null after marking a bad field.
function requestedChange() {
  var form = $("change-form");
  var camera = cameras[editing];
  var change = {};
  var problem = null;
  [["ipAddress", isDottedQuad, "an IPv4 address such as 192.168.1.64"], ["netmask", isNetmask, "a netmask such as 255.255.255.0"],
   ["gateway", isDottedQuad, "an IPv4 address"], ["dns1", isDottedQuad, "an IPv4 address"], ["dns2", isDottedQuad, "an IPv4 address"]]
    .forEach(function (field) {
      var input = form.elements[field[0]];
      var value = input.value.trim();
      var empty = value === "" && field[0] === "dns2";
      var ok = empty || field[1](value);
      input.classList.toggle("invalid", !ok);
      if (!ok && !problem) problem = input.parentElement.textContent.trim() + ": expected " + field[2];
      if (ok && value !== (camera[field[0]] || "")) change[field[0]] = value;
    });
  if (form.elements.dhcp.checked !== !!camera.dhcp) change.dhcp = form.elements.dhcp.checked;
  if (problem) {
    status(problem, "error");
    return null;
  }
  if (Object.keys(change).length === 0) {
    status("Nothing to change.", "error");
    return null;
  }
  return change;
}

function submitChange(event) {
  event.preventDefault();
  var serial = editing;
  var change = requestedChange();
  if (!change) return;
  status("Sent; waiting for " + serial + " to confirm...");
  api("POST", "/api/cameras/" + encodeURIComponent(serial) + "/lan", change).then(function (reply) {
    setCamera(reply.camera);
    document.getElementById("camera-" + serial).classList.add("confirmed");
    status(serial + " confirmed: now at " + reply.camera.ipAddress + ".", "ok");
  }).catch(function (error) { status(error.message, "error"); });
}

function fillFreeAddress() {
  status("Probing this computer's subnet for a free address...");
  api("POST", "/api/free-address").then(function (reply) {
    $("change-form").elements.ipAddress.value = reply.address;
    status("Free address: " + reply.address + ".");
  }).catch(function (error) { status(error.message, "error"); });
}

function toggleSearch() {
  var searching = !$("search-toggle").dataset.searching;
  api("POST", "/api/search", { searching: searching }).then(function (reply) {
    showSearching(reply.searching);
    if (reply.searching) loadHost();
  }).catch(function (error) { $("search-state").textContent = error.message; });
}

function listen() {
  var events = new EventSource("/api/events");
  events.addEventListener("camera", function (event) { setCamera(JSON.parse(event.data)); });
  events.addEventListener("cleared", clearCameras);
  events.addEventListener("search", function (event) { showSearching(JSON.parse(event.data).searching); });
  events.addEventListener("open", function () { loadCameras(); });
}

$("search-toggle").addEventListener("click", toggleSearch);
$("change-form").addEventListener("submit", submitChange);
$("free-address").addEventListener("click", fillFreeAddress);
$("change-cancel").addEventListener("click", function () { $("change").hidden = true; editing = null; });
api("GET", "/api/search").then(function (reply) { showSearching(reply.searching); });
loadHost();
listen();
