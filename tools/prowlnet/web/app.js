// The page of the Prowlnet web host: the cameras found, kept current by the server's events, this
// computer's parameters, and a dialog to change one camera's LAN settings.
//
// Camera texts come from the network. They are only ever set as text or as attribute values,
// never as markup, element ids or object keys: every camera lives in a Map by serial number, and
// its row is found through that Map. The page runs under a Content-Security-Policy without
// inline script or style: all looks are classes of style.css.
"use strict";

(() => {
  const CHANGE_SECONDS = 20;  // how long the server waits for a camera's confirmation
  const HIGHLIGHT_MS = 4000;  // a confirmed row's highlight fades over this time
  const RETRY_MS = [500, 1000, 2000, 4000];
  const REVEAL_PER_FRAME = 150;  // rows a filter shows again per frame: laying out all 1000 takes long

  const $ = (id) => document.getElementById(id);

  const state = {
    token: document.querySelector('meta[name="prowlnet-token"]').content,
    connected: false,
    synced: false,
    searching: false,
    stale: false,                // the list is kept from a search that stopped
    cameras: new Map(),          // serial -> entry {camera, row, cells, key, shown}
    byAddress: new Map(),        // IP address -> Set of serials holding it
    dirty: new Set(),            // serials whose rows need drawing
    order: [],                   // entries in the order of the table body
    reorder: false,
    sort: { key: "index", direction: 1 },
    filter: "",
    reveal: [],                  // rows the filter shows again, a frame's worth at a time
    host: {},
    pending: new Map(),          // serial -> {deadline}: changes waiting for confirmation
    confirmed: new Map(),        // serial -> time of confirmation, while the row is highlighted
    editing: null,               // the serial the dialog is open for
    warned: null,                // the change whose warnings were shown once
    probing: false,              // a free address is being looked for
    toggling: false,             // a start or stop of the search is on its way
    events: null,
    queue: [],                   // events that came while the page was reading the server's state
    lost: false,                 // the event stream dropped since the page last read that state
    retries: 0,
    frame: 0,
  };

  // ---------------------------------------------------------------- addresses

  /// The address as a number, or null unless it is four decimal numbers 0-255 without leading
  /// zeros (192.168.001.064 could be read in octal, so it is refused).
  function addressNumber(text) {
    const parts = String(text).split(".");
    if (parts.length !== 4) return null;
    let value = 0;
    for (const part of parts) {
      if (!/^(0|[1-9][0-9]{0,2})$/.test(part) || Number(part) > 255) return null;
      value = value * 256 + Number(part);
    }
    return value;
  }

  function isNetmask(text) {
    const value = addressNumber(text);
    if (value === null || value === 0) return false;
    const inverted = 0xffffffff - value;
    return (inverted & (inverted + 1)) === 0;
  }

  function sameSubnet(a, b, mask) {
    return ((a & mask) >>> 0) === ((b & mask) >>> 0);
  }

  function webAddress(camera) {
    const port = Number(camera.webPort);
    if (addressNumber(camera.ipAddress) === null || !Number.isInteger(port) || port < 1 || port > 65535) return null;
    return "http://" + camera.ipAddress + (port === 80 ? "" : ":" + port) + "/";
  }

  // ---------------------------------------------------------------- server

  class RequestError extends Error {
    constructor(message, status) {
      super(message);
      this.status = status;
    }
  }

  /// A request to the server's API; a refused token is taken afresh once, as the server may be a
  /// new run whose event stream the page has not yet seen drop.
  async function api(method, path, body, retried = false) {
    const options = { method, headers: {}, cache: "no-store" };
    if (method !== "GET") {
      options.headers["X-Prowlnet-Token"] = state.token;
      options.headers["Content-Type"] = "application/json";
      options.body = JSON.stringify(body || {});
    }
    let response;
    try {
      response = await fetch(path, options);
    } catch (error) {
      throw new RequestError("the server cannot be reached", 0);
    }
    let json = null;
    try {
      json = await response.json();
    } catch (error) {
      json = null;
    }
    if (response.status === 403 && method !== "GET" && !retried) {
      await refreshToken().catch(() => {});
      return api(method, path, body, true);
    }
    if (!response.ok) {
      throw new RequestError((json && typeof json.error === "string") ? json.error : "the server answered " + response.status,
                             response.status);
    }
    return json;
  }

  /// The token of the page the server serves now: a new run of the server has a new one.
  async function refreshToken() {
    const response = await fetch("/", { cache: "no-store" });
    const page = new DOMParser().parseFromString(await response.text(), "text/html");
    const meta = page.querySelector('meta[name="prowlnet-token"]');
    if (meta && meta.content) state.token = meta.content;
  }

  function connect() {
    const events = new EventSource("/api/events");
    state.events = events;
    events.addEventListener("open", () => {
      const reconnected = state.lost;
      state.lost = false;
      resync(reconnected).catch(() => lose(events));
    });
    events.addEventListener("error", () => lose(events));
    // Events that come while the state is being read are applied after it, in their order.
    const on = (name, handle) => events.addEventListener(name, (event) => {
      const data = JSON.parse(event.data);
      if (state.synced) handle(data);
      else state.queue.push(() => handle(data));
    });
    on("camera", setCamera);
    on("cleared", clearedByServer);
    on("search", (data) => showSearching(data.searching));
    on("change", (data) => {
      if (data.state === "confirmed" && data.camera) confirmCamera(data.camera, data.serial);
    });
  }

  /// The event stream dropped: the page says so and waits for the server to come back.
  function lose(events) {
    if (events !== state.events) return;
    events.close();
    state.events = null;
    state.synced = false;
    state.lost = true;
    state.queue = [];
    setConnected(false);
    const delay = RETRY_MS[Math.min(state.retries++, RETRY_MS.length - 1)];
    setTimeout(connect, delay);
  }

  /// Reads everything afresh once the event stream is open: the token (after a reconnection,
  /// the server may be a new run), the search state, the cameras and this computer's settings.
  async function resync(reconnected) {
    if (reconnected) await refreshToken();
    const [search, list] = await Promise.all([api("GET", "/api/search"), api("GET", "/api/cameras")]);
    loadHost().catch(() => {});
    state.synced = true;
    state.retries = 0;
    state.connected = true;
    applySnapshot(search.searching, list);
    const queued = state.queue;
    state.queue = [];
    queued.forEach((apply) => apply());
  }

  async function loadHost() {
    const host = await api("GET", "/api/host");
    state.host = host;
    document.querySelectorAll("[data-host]").forEach((element) => {
      const value = host[element.dataset.host];
      element.textContent = typeof value === "string" ? value : "";
    });
  }

  // ---------------------------------------------------------------- the list's state

  function applySnapshot(searching, list) {
    const serials = new Set(list.map((camera) => camera.serialNumber));
    if (list.length > 0 || searching) {
      for (const serial of [...state.cameras.keys()]) if (!serials.has(serial)) removeCamera(serial);
      state.stale = false;
    }
    state.searching = !!searching;
    if (!searching && state.cameras.size > 0 && list.length === 0) state.stale = true;
    list.forEach((camera) => setCamera(camera));
    showState();
  }

  function showSearching(searching) {
    searching = !!searching;
    if (searching && !state.searching) clearCameras();
    if (!searching && state.cameras.size > 0) state.stale = true;
    state.searching = searching;
    showState();
  }

  /// The control emptied its table: a stopped search keeps the last list, greyed.
  function clearedByServer() {
    if (state.searching) clearCameras();
    else if (state.cameras.size > 0) state.stale = true;
    showState();
  }

  function setConnected(connected) {
    state.connected = connected;
    showState();
  }

  function clearCameras() {
    state.cameras.clear();
    state.byAddress.clear();
    state.dirty.clear();
    state.order = [];
    state.stale = false;
    $("camera-rows").textContent = "";
    schedule();
  }

  function removeCamera(serial) {
    const entry = state.cameras.get(serial);
    if (!entry) return;
    forgetAddress(serial, entry.camera.ipAddress);
    state.cameras.delete(serial);
    state.dirty.delete(serial);
    entry.row.remove();
    state.order = state.order.filter((other) => other !== entry);
    schedule();
  }

  /// Whether a camera can be changed now: the server must be there and searching.
  function canChange() {
    return state.connected && state.searching && !state.stale;
  }

  function showState() {
    const offline = !state.connected;
    const toggle = $("search-toggle");
    toggle.textContent = state.searching ? "Stop search" : "Start search";
    toggle.disabled = offline;
    const searchState = $("search-state");
    searchState.textContent = offline ? "connection lost" : state.searching ? "searching" : "not searching";
    searchState.classList.toggle("offline", offline);
    const table = $("camera-table");
    table.classList.toggle("stale", state.stale || offline);
    const listState = $("list-state");
    const note = offline ? "Connection to the server lost: reconnecting…"
               : state.stale ? "Search stopped: the list shows the cameras as they last answered." : "";
    listState.textContent = note;
    listState.hidden = note === "";
    listState.classList.toggle("offline", offline);
    const enabled = canChange();
    for (const entry of state.cameras.values()) entry.cells.change.disabled = !enabled;
    showDialogState();
    schedule();
  }

  // ---------------------------------------------------------------- cameras

  function setCamera(camera) {
    if (!camera || typeof camera.serialNumber !== "string") return;
    const serial = camera.serialNumber;
    let entry = state.cameras.get(serial);
    if (!entry) {
      entry = makeEntry(serial);
      state.cameras.set(serial, entry);
      state.reorder = true;
    } else {
      // A camera sent back by a change carries no index: it keeps the one it had.
      if (camera.index === undefined) camera = Object.assign({}, camera, { index: entry.camera.index });
      forgetAddress(serial, entry.camera.ipAddress);
      if (sortValue(entry.camera, state.sort.key) !== sortValue(camera, state.sort.key)) state.reorder = true;
    }
    entry.camera = camera;
    rememberAddress(serial, camera.ipAddress);
    state.dirty.add(serial);
    schedule();
  }

  function confirmCamera(camera, serial) {
    if (camera.serialNumber !== serial) return;
    setCamera(camera);
    state.confirmed.set(serial, Date.now());
    setTimeout(() => {
      if (Date.now() - (state.confirmed.get(serial) || 0) < HIGHLIGHT_MS) return;
      state.confirmed.delete(serial);
      state.dirty.add(serial);
      schedule();
    }, HIGHLIGHT_MS + 50);
  }

  /// Cameras that share an address are all marked: when one moves, its old and new neighbours
  /// are drawn again.
  function rememberAddress(serial, address) {
    if (!address) return;
    let holders = state.byAddress.get(address);
    if (!holders) state.byAddress.set(address, holders = new Set());
    holders.add(serial);
    holders.forEach((other) => state.dirty.add(other));
  }

  function forgetAddress(serial, address) {
    const holders = state.byAddress.get(address);
    if (!holders) return;
    holders.delete(serial);
    holders.forEach((other) => state.dirty.add(other));
    if (holders.size === 0) state.byAddress.delete(address);
  }

  function isDuplicate(camera) {
    const holders = state.byAddress.get(camera.ipAddress);
    return !!holders && holders.size > 1;
  }

  function makeEntry(serial) {
    const row = document.createElement("tr");
    row.dataset.serial = serial;
    row.setAttribute("role", "row");
    const td = (className) => {
      const cell = document.createElement("td");
      cell.className = className;
      cell.setAttribute("role", "cell");
      row.appendChild(cell);
      return cell;
    };
    const cells = {
      index: td("c-index"), serial: td("c-serial"), type: td("c-type"), ip: td("c-ip"), notes: td("c-notes"),
      netmask: td("c-netmask"), gateway: td("c-gateway"), mac: td("c-mac"), dhcp: td("c-dhcp"), web: td("c-web"),
      video: td("c-video"), ptz: td("c-ptz"),
    };
    const address = document.createElement("a");
    address.rel = "noopener noreferrer";
    address.target = "_blank";
    const copy = document.createElement("button");
    copy.type = "button";
    copy.className = "copy";
    cells.ip.append(address, copy);
    const change = document.createElement("button");
    change.type = "button";
    change.className = "change";
    change.textContent = "Change";
    change.setAttribute("aria-label", "Change " + serial);
    td("c-action").appendChild(change);
    const entry = { serial, camera: {}, row, cells: Object.assign(cells, { address, copy, change }), drawn: {}, key: "",
                    shown: true };
    change.addEventListener("click", () => openChange(serial));
    copy.addEventListener("click", () => copyAddress(entry));
    return entry;
  }

  function notesOf(entry) {
    const camera = entry.camera;
    const notes = [];
    if (state.pending.has(entry.serial)) notes.push(["info", "confirming…"]);
    else if (state.confirmed.has(entry.serial)) notes.push(["ok", "confirmed"]);
    if (camera.reachable === false) notes.push(["warn", "other subnet"]);
    if (isDuplicate(camera)) notes.push(["danger", "duplicate address"]);
    return notes;
  }

  const text = (value) => (value === undefined || value === null) ? "" : String(value);

  /// A message of the server's as the end of a sentence.
  const sentence = (message) => /[.?!]$/.test(message) ? message : message + ".";

  /// Sets a cell's text only when it changed, so that a refresh of an unchanged camera costs
  /// no layout.
  function setText(entry, name, value) {
    if (entry.drawn[name] === value) return;
    entry.drawn[name] = value;
    entry.cells[name].textContent = value;
    if (name === "serial" || name === "type" || name === "mac") entry.cells[name].title = value;
  }

  function drawRow(entry) {
    const camera = entry.camera;
    const enabled = canChange();
    setText(entry, "index", camera.index === undefined ? "" : text(camera.index));
    setText(entry, "serial", entry.serial);
    setText(entry, "type", text(camera.deviceType));
    setText(entry, "netmask", text(camera.netmask));
    setText(entry, "gateway", text(camera.gateway));
    setText(entry, "mac", text(camera.macAddress));
    setText(entry, "dhcp", camera.dhcp ? "on" : "off");
    setText(entry, "web", text(camera.webPort));
    setText(entry, "video", text(camera.videoPort));
    setText(entry, "ptz", text(camera.ptzPort));
    const address = text(camera.ipAddress);
    const link = webAddress(camera);
    if (entry.drawn.address !== address || entry.drawn.link !== link) {
      entry.drawn.address = address;
      entry.drawn.link = link;
      entry.cells.address.textContent = address;
      if (link) entry.cells.address.href = link;
      else entry.cells.address.removeAttribute("href");
      entry.cells.copy.setAttribute("aria-label", "Copy " + address);
      entry.cells.copy.hidden = address === "";
    }
    const notes = notesOf(entry);
    const notesKey = notes.map((note) => note[1]).join("|");
    if (entry.drawn.notes !== notesKey) {
      entry.drawn.notes = notesKey;
      entry.cells.notes.replaceChildren(...notes.map(([kind, label]) => {
        const badge = document.createElement("span");
        badge.className = "badge " + kind;
        badge.textContent = label;
        return badge;
      }));
    }
    entry.row.classList.toggle("confirmed", state.confirmed.has(entry.serial));
    entry.cells.change.disabled = !enabled;
    entry.key = [entry.serial, camera.deviceType, camera.ipAddress, camera.macAddress].map(text).join("\n").toLowerCase();
  }

  // ---------------------------------------------------------------- sorting and filtering

  const sortKeys = {
    index: (c) => typeof c.index === "number" ? c.index : Infinity,
    serial: (c) => text(c.serialNumber),
    type: (c) => text(c.deviceType),
    ip: (c) => numberOr(addressNumber(c.ipAddress)),
    notes: (c) => (isDuplicate(c) ? 0 : 2) + (c.reachable === false ? 0 : 1),
    netmask: (c) => numberOr(addressNumber(c.netmask)),
    gateway: (c) => numberOr(addressNumber(c.gateway)),
    mac: (c) => text(c.macAddress).toLowerCase(),
    dhcp: (c) => (c.dhcp ? 1 : 0),
    web: (c) => Number(c.webPort) || 0,
    video: (c) => Number(c.videoPort) || 0,
    ptz: (c) => Number(c.ptzPort) || 0,
  };

  function numberOr(value) { return value === null ? Infinity : value; }

  function sortValue(camera, key) { return sortKeys[key](camera); }

  function compareEntries(a, b) {
    const key = state.sort.key;
    const x = sortValue(a.camera, key);
    const y = sortValue(b.camera, key);
    if (x !== y) return (x < y ? -1 : 1) * state.sort.direction;
    const i = sortKeys.index(a.camera);
    const j = sortKeys.index(b.camera);
    if (i !== j) return i < j ? -1 : 1;
    return a.serial < b.serial ? -1 : a.serial > b.serial ? 1 : 0;
  }

  /// Puts the rows in the table's order, moving only those from the first one out of place:
  /// cameras that answer in index order are only appended.
  function placeRows() {
    const sorted = [...state.cameras.values()].sort(compareEntries);
    let first = 0;
    while (first < sorted.length && state.order[first] === sorted[first]) ++first;
    if (first < sorted.length) {
      const tail = document.createDocumentFragment();
      for (let i = first; i < sorted.length; ++i) tail.appendChild(sorted[i].row);
      $("camera-rows").appendChild(tail);
    }
    state.order = sorted;
  }

  function matches(entry) {
    return state.filter === "" || entry.key.includes(state.filter);
  }

  function applyFilter(entry) {
    show(entry, matches(entry));
  }

  function show(entry, shown) {
    if (entry.shown === shown) return;
    entry.shown = shown;
    entry.row.hidden = !shown;
  }

  function setSort(key) {
    state.sort = { key, direction: state.sort.key === key ? -state.sort.direction : 1 };
    document.querySelectorAll("#camera-table th[data-sort]").forEach((th) => {
      if (th.dataset.sort === key) th.setAttribute("aria-sort", state.sort.direction > 0 ? "ascending" : "descending");
      else th.removeAttribute("aria-sort");
    });
    state.reorder = true;
    flush();
  }

  /// Hides what no longer matches at once; shows what matches again in table order, a frame's
  /// worth at a time, so that a keystroke answers within a frame even with 1000 rows.
  function setFilter(value) {
    state.filter = value.trim().toLowerCase();
    const reveal = [];
    for (const entry of state.order) {
      if (!matches(entry)) show(entry, false);
      else if (!entry.shown) reveal.push(entry);
    }
    const idle = state.reveal.length === 0;
    state.reveal = reveal;
    if (idle) revealSome();
    showCount();
  }

  function revealSome() {
    for (const entry of state.reveal.splice(0, REVEAL_PER_FRAME)) {
      if (matches(entry) && state.cameras.get(entry.serial) === entry) show(entry, true);
    }
    if (state.reveal.length > 0) requestAnimationFrame(revealSome);
  }

  // ---------------------------------------------------------------- drawing

  /// Draws what changed once per frame; a timer stands in when frames are not drawn (a page in
  /// the background), so that the list never falls behind.
  function schedule() {
    if (state.frame) return;
    const run = () => {
      if (!state.frame) return;
      state.frame = 0;
      flush();
    };
    state.frame = requestAnimationFrame(run) || 1;
    setTimeout(run, 200);
  }

  function flush() {
    for (const serial of state.dirty) {
      const entry = state.cameras.get(serial);
      if (!entry) continue;
      drawRow(entry);
      applyFilter(entry);
    }
    // Notes depend on other cameras (a shared address): any change may move a row.
    if (state.dirty.size > 0 && state.sort.key === "notes") state.reorder = true;
    state.dirty.clear();
    if (state.reorder) {
      state.reorder = false;
      placeRows();
    }
    showCount();
  }

  function countText() {
    const total = state.cameras.size;
    if (total === 0) return "No cameras";
    let other = 0;
    let shown = 0;
    for (const entry of state.cameras.values()) {
      if (entry.camera.reachable === false) ++other;
      if (matches(entry)) ++shown;
    }
    let heading = total + (total === 1 ? " camera" : " cameras");
    if (other > 0) heading += " (" + other + " on another subnet)";
    if (state.filter !== "") heading += ", " + shown + " shown";
    return heading;
  }

  function placeholderText() {
    if (!state.synced && !state.connected && state.cameras.size === 0)
      return state.retries > 0 ? "Connection to the server lost." : "Connecting to the server…";
    if (state.cameras.size === 0) {
      return state.searching ? "Searching, no camera has answered yet…"
                             : "Not searching: press Start search to find the cameras on this network.";
    }
    return state.order.some(matches) ? "" : "No camera matches “" + $("filter").value.trim() + "”.";
  }

  const announcer = { text: "", at: 0, timer: 0 };

  function showCount() {
    const heading = countText();
    const title = $("cameras-title");
    if (title.textContent !== heading) title.textContent = heading;
    const placeholder = placeholderText();
    const cell = $("placeholder-text");
    if (cell.textContent !== placeholder) cell.textContent = placeholder;
    $("placeholder").hidden = placeholder === "";
    announceSoon();
  }

  /// The search state and the count for a screen reader, at most every two seconds, so that a
  /// search does not flood it.
  function announceSoon() {
    if (announcer.timer) return;
    const wait = Math.max(0, announcer.at + 2000 - Date.now());
    announcer.timer = setTimeout(() => {
      announcer.timer = 0;
      const message = (state.connected ? (state.searching ? "Searching. " : "Not searching. ") : "Connection lost. ") +
                      countText() + ".";
      if (message === announcer.text) return;
      $("announce").textContent = announcer.text = message;
      announcer.at = Date.now();
    }, wait);
  }

  let sayTimer = 0;

  /// A short note above the list (a confirmation, a copy), which goes after a while.
  function say(message) {
    $("list-status").textContent = message;
    clearTimeout(sayTimer);
    sayTimer = setTimeout(() => { $("list-status").textContent = ""; }, 10000);
  }

  // ---------------------------------------------------------------- copy

  async function copyAddress(entry) {
    const address = text(entry.camera.ipAddress);
    let copied = false;
    try {
      await navigator.clipboard.writeText(address);
      copied = true;
    } catch (error) {
      // Not a secure context (a page served on a LAN address): the selection way still works.
      const area = document.createElement("textarea");
      area.value = address;
      area.className = "offscreen";
      document.body.appendChild(area);
      area.select();
      copied = document.execCommand("copy");
      area.remove();
      entry.cells.copy.focus();
    }
    say(copied ? "Copied " + address + "." : "Could not copy: select the address and copy it.");
    entry.cells.copy.classList.toggle("copied", copied);
    setTimeout(() => entry.cells.copy.classList.remove("copied"), 1500);
  }

  // ---------------------------------------------------------------- the change dialog

  const FIELDS = [
    { name: "ipAddress", check: (v) => addressNumber(v) !== null, expect: "an IPv4 address such as 192.168.1.64" },
    { name: "netmask", check: isNetmask, expect: "a netmask such as 255.255.255.0" },
    { name: "gateway", check: (v) => addressNumber(v) !== null, expect: "an IPv4 address such as 192.168.1.1" },
    { name: "dns1", check: (v) => addressNumber(v) !== null, expect: "an IPv4 address" },
    { name: "dns2", check: (v) => addressNumber(v) !== null, expect: "an IPv4 address" },
  ];

  const form = () => $("change-form");
  const input = (name) => form().elements[name];

  function setMessage(name, message, kind) {
    const element = $("message-" + name);
    element.textContent = message;
    element.className = "message" + (kind ? " " + kind : "");
    if (kind === "error") input(name).setAttribute("aria-invalid", "true");
    else input(name).removeAttribute("aria-invalid");
  }

  function clearMessages() {
    FIELDS.forEach((field) => setMessage(field.name, ""));
  }

  function status(message, kind) {
    const element = $("change-status");
    element.textContent = message;
    element.className = "status" + (kind ? " " + kind : "");
  }

  function openChange(serial) {
    const entry = state.cameras.get(serial);
    if (!entry || !canChange()) return;
    const camera = entry.camera;
    state.editing = serial;
    state.warned = null;
    $("change-serial").textContent = serial;
    $("change-summary").textContent = summaryOf(camera);
    FIELDS.forEach((field) => { input(field.name).value = text(camera[field.name]); });
    input("dhcp").checked = !!camera.dhcp;
    clearMessages();
    status("");
    $("change-send").textContent = "Send to the camera";
    const dialog = $("change");
    if (!dialog.open) dialog.showModal();
    showDialogState();
    input("ipAddress").focus();
    input("ipAddress").select();
  }

  function summaryOf(camera) {
    const parts = [text(camera.deviceType), "MAC " + text(camera.macAddress), "now at " + text(camera.ipAddress)];
    if (camera.reachable === false) parts[2] += " (other subnet)";
    parts.push("ports: web " + text(camera.webPort) + ", video " + text(camera.videoPort) + ", PTZ " + text(camera.ptzPort));
    return parts.join(" · ");
  }

  /// Focus goes back to the row's Change button; to the filter when that row is gone or its
  /// button cannot take it.
  function closedChange() {
    const entry = state.cameras.get(state.editing);
    state.editing = null;
    state.warned = null;
    if (entry && !entry.cells.change.disabled && !entry.row.hidden) entry.cells.change.focus();
    else $("filter").focus();
  }

  function showDialogState() {
    if (!state.editing) return;
    const pending = state.pending.get(state.editing);
    const busy = !!pending || state.probing || !canChange();
    $("change-send").disabled = busy;
    $("free-address").disabled = busy;
    if (pending) {
      const left = Math.max(0, Math.ceil((pending.deadline - Date.now()) / 1000));
      status("Sent. Waiting for " + state.editing + " to confirm: " + left + " s left.", "pending");
    } else if (!state.connected) {
      status("The connection to the server is lost: nothing can be sent until it is back.", "error");
    }
  }

  /// The fields that differ from the camera's own settings, with each bad field marked under it;
  /// null when one is bad. A field left as the camera has it is never judged.
  function requestedChange(camera) {
    const change = {};
    let firstBad = null;
    clearMessages();
    for (const field of FIELDS) {
      const value = input(field.name).value.trim();
      const current = text(camera[field.name]);
      if (value === current) continue;
      let problem = null;
      if (value === "" && current !== "") problem = "Cannot be emptied from here: enter an address (it was " + current + ").";
      else if (!field.check(value)) problem = "Expected " + field.expect + ".";
      if (problem) {
        setMessage(field.name, problem, "error");
        firstBad = firstBad || field.name;
      } else {
        change[field.name] = value;
      }
    }
    if (input("dhcp").checked !== !!camera.dhcp) change.dhcp = input("dhcp").checked;
    if (firstBad) {
      status("Correct the marked field" + (form().querySelectorAll("[aria-invalid=true]").length > 1 ? "s" : "") + ".", "error");
      input(firstBad).focus();
      return null;
    }
    if (Object.keys(change).length === 0) {
      status("Nothing to change: every field is as the camera has it.", "error");
      return null;
    }
    return change;
  }

  /// What may go wrong with a change that is valid: each warning under its field.
  function warningsOf(serial, camera, change) {
    const warnings = [];
    const final = (name) => name in change ? change[name] : text(camera[name]);
    const ip = final("ipAddress");
    if ("ipAddress" in change) {
      const holders = [...(state.byAddress.get(ip) || [])].filter((other) => other !== serial);
      if (holders.length > 0) {
        const more = holders.length > 1 ? " and " + (holders.length - 1) + " more" : "";
        warnings.push(["ipAddress", ip + " is held by camera " + holders[0] + more + " in the list."]);
      }
      if (ip === state.host.ipAddress) warnings.push(["ipAddress", ip + " is this computer's own address."]);
    }
    const address = addressNumber(ip);
    const mask = addressNumber(final("netmask"));
    const dhcp = "dhcp" in change ? change.dhcp : !!camera.dhcp;
    if (("ipAddress" in change || "netmask" in change) && address !== null && mask !== null && mask < 0xfffffffe) {
      const host = address - ((address & mask) >>> 0);
      if (host === 0) warnings.push(["ipAddress", ip + " is the network address of its subnet."]);
      if (host === 0xffffffff - mask) warnings.push(["ipAddress", ip + " is the broadcast address of its subnet."]);
    }
    const gateway = addressNumber(final("gateway"));
    const touched = "ipAddress" in change || "netmask" in change || "gateway" in change;
    if (touched && !dhcp && address !== null && mask !== null && gateway !== null && gateway !== 0 &&
        !sameSubnet(address, gateway, mask)) {
      warnings.push(["gateway", "The gateway " + final("gateway") + " is outside " + ip + "/" + final("netmask") +
                                ": the camera could not reach it."]);
    }
    return warnings;
  }

  async function submitChange(event) {
    event.preventDefault();
    const serial = state.editing;
    const entry = state.cameras.get(serial);
    if (!entry || state.pending.has(serial) || !canChange()) return;
    const change = requestedChange(entry.camera);
    if (!change) return;
    const warnings = warningsOf(serial, entry.camera, change);
    const asked = JSON.stringify(change);
    if (warnings.length > 0 && state.warned !== asked) {
      warnings.forEach(([name, message]) => setMessage(name, message, "warning"));
      state.warned = asked;
      $("change-send").textContent = "Send anyway";
      status(warnings.length === 1 ? "Check the warning above: press Send anyway to send it all the same."
                                   : "Check the warnings above: press Send anyway to send it all the same.", "warning");
      return;
    }
    send(serial, change);
  }

  async function send(serial, change) {
    const pending = { deadline: Date.now() + CHANGE_SECONDS * 1000 };
    state.pending.set(serial, pending);
    $("change-send").textContent = "Send to the camera";
    state.dirty.add(serial);
    schedule();
    keepFocusInDialog();
    const ticker = setInterval(showDialogState, 1000);
    showDialogState();
    try {
      const reply = await api("POST", "/api/cameras/" + encodeURIComponent(serial) + "/lan",
                              Object.assign({}, change, { seconds: CHANGE_SECONDS }));
      finishChange(serial, ticker);
      confirmCamera(reply.camera, serial);
      const message = serial + " confirmed: now at " + text(reply.camera.ipAddress) + ".";
      say(message);
      if (state.editing === serial) $("change").close();
    } catch (error) {
      finishChange(serial, ticker);
      const message = error.status === 504 ? serial + " did not confirm the change within " + CHANGE_SECONDS + " s: look at the list, then try again."
                    : error.status === 0 ? "The connection to the server was lost while waiting: the change may have reached " + serial + "; look at the list once the connection is back."
                    : "Not sent: " + sentence(error.message);
      if (state.editing === serial) status(message, "error");
      else say(message);
    }
  }

  function finishChange(serial, ticker) {
    clearInterval(ticker);
    state.pending.delete(serial);
    state.warned = null;
    state.dirty.add(serial);
    if (state.editing === serial) $("change-send").textContent = "Send to the camera";
    showDialogState();
    schedule();
  }

  /// A button that becomes disabled would drop the focus out of the dialog: the status line takes it.
  function keepFocusInDialog() {
    const active = document.activeElement;
    if (active === $("change-send") || active === $("free-address")) $("change-status").focus();
  }

  async function fillFreeAddress() {
    const serial = state.editing;
    state.probing = true;
    keepFocusInDialog();
    showDialogState();
    status("Looking for a free address on this computer's subnet…", "pending");
    try {
      const reply = await api("POST", "/api/free-address");
      if (state.editing !== serial) return;
      input("ipAddress").value = reply.address;
      state.warned = null;
      setMessage("ipAddress", reply.address + " answered no probe: it is free on this computer's subnet.", "info");
      status("");
      input("ipAddress").focus();
    } catch (error) {
      if (state.editing === serial) status("No free address: " + sentence(error.message), "error");
    } finally {
      state.probing = false;
      showDialogState();
    }
  }

  /// Editing after a warning asks for the confirmation again.
  function editedChange() {
    if (state.warned === null) return;
    state.warned = null;
    $("change-send").textContent = "Send to the camera";
    status("");
  }

  // ---------------------------------------------------------------- search

  /// A press while the last one is on its way does nothing (the button keeps the focus).
  async function toggleSearch() {
    if (state.toggling) return;
    const on = !state.searching;
    state.toggling = true;
    try {
      const reply = await api("POST", "/api/search", { searching: on });
      showSearching(reply.searching);
      if (reply.searching) loadHost().catch(() => {});
    } catch (error) {
      say((on ? "Could not start the search: " : "Could not stop the search: ") + sentence(error.message));
    } finally {
      state.toggling = false;
    }
  }

  // ---------------------------------------------------------------- start

  $("search-toggle").addEventListener("click", toggleSearch);
  $("filter").addEventListener("input", (event) => setFilter(event.target.value));
  document.querySelectorAll("#camera-table th[data-sort] button").forEach((button) => {
    button.addEventListener("click", () => setSort(button.parentElement.dataset.sort));
  });
  $("change-form").addEventListener("submit", submitChange);
  $("change-form").addEventListener("input", editedChange);
  $("free-address").addEventListener("click", fillFreeAddress);
  $("change-close").addEventListener("click", () => $("change").close());
  $("change").addEventListener("close", closedChange);
  connect();
})();
