// The page of the Prowlnet web host: the cameras found, kept current by the server's events, this
// computer's parameters, a dialog to change one camera's LAN settings, and one that gives the
// cameras the filter shows addresses from a range.
//
// Camera texts come from the network. They are only ever set as text or as attribute values,
// never as markup, element ids or object keys: every camera lives in a Map by serial number, and
// its row is found through that Map. The server sends the page with a Content-Security-Policy
// without inline script or style: all looks are classes of style.css.
"use strict";

(() => {
  const CHANGE_SECONDS = 20;  // how long the server waits for a camera's confirmation
  const HIGHLIGHT_MS = 4000;  // a confirmed row's highlight fades over this time
  const RETRY_MS = [500, 1000, 2000, 4000];
  const CROWDED_RETRY_MS = 5000;  // the server's Retry-After when every event stream's place is taken
  const CHOSEN_SHOWN = 12;        // serials the range dialog names before "and N more"
  const REVEAL_PER_FRAME = 150;  // rows a filter shows again per frame: laying out all 1000 takes long

  const $ = (id) => document.getElementById(id);

  const state = {
    token: document.querySelector('meta[name="prowlnet-token"]').content,
    connected: false,
    crowded: false,              // the server answers, but has no place for another event stream
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
    assigning: new Map(),        // serial -> batch: cameras of a range waiting for confirmation
    failed: new Map(),           // serial -> what became of its last change, when not confirmed
    confirmed: new Map(),        // serial -> time of confirmation, while the row is highlighted
    editing: null,               // the serial the dialog is open for
    warned: null,                // the change whose warnings were shown once
    assignWarned: null,          // the range whose warning was shown once
    probing: false,              // a free address is being looked for
    toggling: false,             // a start or stop of the search is on its way
    batch: null,                 // the range this page sent last: {id, serials, outcomes, deadline, ...}
    outcomes: new Map(),         // batch -> Map serial -> state, from the assign events of the last few
    events: null,
    reading: 0,                  // counts the reads of the server's state: only the latest is applied
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

  /// The token of the server's run now: a new run has a new one (GET /api/token answers only
  /// this origin).
  async function refreshToken() {
    const reply = await api("GET", "/api/token");
    if (reply && typeof reply.token === "string" && reply.token !== "") state.token = reply.token;
  }

  function connect() {
    const events = new EventSource("/api/events");
    state.events = events;
    events.addEventListener("open", () => {
      const reconnected = state.lost;
      state.lost = false;
      state.crowded = false;
      resync(events, reconnected);
    });
    events.addEventListener("error", () => lose(events));
    // The stream fell behind and lost events: what the page shows is read afresh.
    events.addEventListener("resync", () => resync(events, false));
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
    on("assign", assigned);
  }

  /// The event stream dropped, or was refused: the page says so and tries again. A browser
  /// gives up on a stream answered with an error (the server's 503 when every place for one is
  /// taken) and retries only a dropped one; the page retries both itself.
  function lose(events) {
    if (events !== state.events) return;
    const answered = events.readyState === EventSource.CLOSED;
    events.close();
    state.events = null;
    state.synced = false;
    state.lost = true;
    state.queue = [];
    ++state.reading;
    setConnected(false);
    retry(answered);
  }

  async function retry(answered) {
    // An error answer while the API answers: other pages hold every stream's place.
    state.crowded = answered && await api("GET", "/api/search").then(() => true, () => false);
    if (state.events !== null) return;
    showState();
    setTimeout(connect, state.crowded ? CROWDED_RETRY_MS : RETRY_MS[Math.min(state.retries++, RETRY_MS.length - 1)]);
  }

  /// Reads everything afresh once the event stream is open, or lost events: the token (after a
  /// reconnection, the server may be a new run), the search state, the cameras and this
  /// computer's settings. Events that come meanwhile are applied after it, in their order; a
  /// later read supersedes an earlier one.
  async function resync(events, reconnected) {
    const reading = ++state.reading;
    state.synced = false;
    state.queue = [];
    const current = () => reading === state.reading && events === state.events;
    try {
      if (reconnected) await refreshToken();
      const [search, list] = await Promise.all([api("GET", "/api/search"), api("GET", "/api/cameras")]);
      if (!current()) return;
      loadHost().catch(() => {});
      state.synced = true;
      state.retries = 0;
      state.connected = true;
      applySnapshot(search.searching, list);
      const queued = state.queue;
      state.queue = [];
      queued.forEach((apply) => apply());
    } catch (error) {
      if (current()) lose(events);
    }
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
    state.failed.clear();
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
    state.failed.delete(serial);
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
    searchState.textContent = offline ? (state.crowded ? "server busy" : "connection lost")
                            : state.searching ? "searching" : "not searching";
    searchState.classList.toggle("offline", offline);
    const table = $("camera-table");
    table.classList.toggle("stale", state.stale || offline);
    const listState = $("list-state");
    const note = offline ? (state.crowded ? crowdedText : "Connection to the server lost: reconnecting…")
               : state.stale ? "Search stopped: the list shows the cameras as they last answered." : "";
    listState.textContent = note;
    listState.hidden = note === "";
    listState.classList.toggle("offline", offline);
    const enabled = canChange();
    for (const entry of state.cameras.values()) entry.cells.change.disabled = !enabled;
    showDialogState();
    showAssignState();
    schedule();
  }

  const crowdedText = "The server serves as many open pages as it can: close one of them. Trying again every 5 s…";

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
    state.failed.delete(serial);
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
    if (state.pending.has(entry.serial) || state.assigning.has(entry.serial)) notes.push(["info", "confirming…"]);
    else if (state.confirmed.has(entry.serial)) notes.push(["ok", "confirmed"]);
    else if (state.failed.has(entry.serial)) notes.push(["danger", state.failed.get(entry.serial)]);
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
    entry.key = keyOf(entry);
  }

  /// What the filter matches: serial, type, address and MAC.
  function keyOf(entry) {
    const camera = entry.camera;
    return [entry.serial, camera.deviceType, camera.ipAddress, camera.macAddress].map(text).join("\n").toLowerCase();
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
    showAssignState();
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
    { name: "dns1", check: (v) => addressNumber(v) !== null, expect: "an IPv4 address, or nothing", clearable: true },
    { name: "dns2", check: (v) => addressNumber(v) !== null, expect: "an IPv4 address, or nothing", clearable: true },
  ];

  const form = () => $("change-form");
  const input = (name) => form().elements[name];

  /// A message under a field of either dialog; an error marks the field's input invalid.
  function setMessage(name, message, kind) {
    const element = $("message-" + name);
    element.textContent = message;
    element.className = "message" + (kind ? " " + kind : "");
    const field = $("field-" + name);
    if (!field) return;
    if (kind === "error") field.setAttribute("aria-invalid", "true");
    else field.removeAttribute("aria-invalid");
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
    const busy = !!pending || state.assigning.has(state.editing) || state.probing || !canChange();
    $("change-send").disabled = busy;
    $("free-address").disabled = busy;
    if (pending) {
      const left = Math.max(0, Math.ceil((pending.deadline - Date.now()) / 1000));
      status("Sent. Waiting for " + state.editing + " to confirm: " + left + " s left.", "pending");
    } else if (state.assigning.has(state.editing)) {
      status("Waiting for " + state.editing + " to confirm its address from a range.", "pending");
    } else if (!state.connected) {
      status("The connection to the server is lost: nothing can be sent until it is back.", "error");
    }
  }

  /// The fields that differ from the camera's own settings, with each bad field marked under it;
  /// null when one is bad. A field left as the camera has it is never judged; a DNS server left
  /// empty is sent as "", which clears it.
  function requestedChange(camera) {
    const change = {};
    let firstBad = null;
    clearMessages();
    for (const field of FIELDS) {
      const value = input(field.name).value.trim();
      const current = text(camera[field.name]);
      if (value === current) continue;
      let problem = null;
      if (value === "" && !field.clearable) problem = "Cannot be emptied: enter an address (it was " + current + ").";
      else if (value !== "" && !field.check(value)) problem = "Expected " + field.expect + ".";
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
    state.failed.delete(serial);
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
      if (error.status === 504) state.failed.set(serial, "not confirmed");
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

  // ---------------------------------------------------------------- addresses from a range

  // The cameras given addresses are those the filter shows, in the table's order. An installer
  // with a crate of cameras at one factory address types that address into the filter and sees
  // exactly which cameras will move; there is no second choice (check boxes over 1000 rows) to
  // keep in step with the list.

  const GRACE_MS = 3000;  // after the deadline, the server's own time-out events are waited for
  const OUTCOME_LABELS = { timeout: "not confirmed", gone: "gone", "not-sent": "not sent" };
  const assignInput = (name) => $("assign-form").elements[name];
  const lostText = "The connection to the server is lost: nothing can be sent until it is back.";

  const dotted = (value) => [24, 16, 8, 0].map((shift) => Math.floor(value / 2 ** shift) % 256).join(".");

  /// The addresses of this computer's subnet above its own, so that the cameras sit next to it;
  /// the whole subnet when its own address is the last.
  function suggestedRange() {
    const address = addressNumber(state.host.ipAddress);
    if (address === null || !isNetmask(state.host.netmask)) return null;
    const size = 0xffffffff - addressNumber(state.host.netmask) + 1;
    const network = address - address % size;
    const last = network + size - 2;  // below the broadcast address
    if (last <= network) return null;
    return [dotted(address < last ? address + 1 : network + 1), dotted(last)];
  }

  function chosenCameras() {
    return state.order.filter(matches).map((entry) => entry.serial);
  }

  function assignStatus(message, kind) {
    const element = $("assign-status");
    if (element.textContent !== message) element.textContent = message;
    element.className = "status" + (kind ? " " + kind : "");
  }

  /// Which cameras: those of the batch on its way (or just settled), else those the filter shows.
  function describeChosen() {
    const batch = state.batch;
    const serials = batch ? batch.serials : chosenCameras();
    const count = serials.length + (serials.length === 1 ? " camera" : " cameras");
    let description;
    if (batch) description = count;
    else if (serials.length === 0) description = state.filter === "" ? "No camera in the list." : "The filter shows no camera.";
    else description = state.filter === "" ? "All " + count + " in the list" : count + " the filter shows";
    if (serials.length > 0) {
      const more = serials.length - CHOSEN_SHOWN;
      description += ": " + serials.slice(0, CHOSEN_SHOWN).join(", ") + (more > 0 ? ", and " + more + " more." : ".");
    }
    const element = $("assign-cameras");
    if (element.textContent !== description) element.textContent = description;
  }

  function openAssign() {
    if (!canChange() || state.cameras.size === 0) return;
    if (!state.batch || state.batch.done) {
      state.batch = null;
      state.assignWarned = null;
      ["from", "to", "cameras"].forEach((name) => setMessage(name, ""));
      assignStatus("");
      $("assign-send").textContent = "Give addresses";
    }
    const range = suggestedRange();
    if (range && assignInput("from").value === "" && assignInput("to").value === "") {
      assignInput("from").value = range[0];
      assignInput("to").value = range[1];
    }
    $("assign").showModal();
    showAssignState();
    assignInput("from").focus();
    assignInput("from").select();
  }

  function closedAssign() {
    state.assignWarned = null;
    const button = $("assign-open");
    if (!button.disabled) button.focus();
    else $("filter").focus();
  }

  /// The range asked for, each mistake under its field; null when there is one.
  function requestedRange(count) {
    ["from", "to", "cameras"].forEach((name) => setMessage(name, ""));
    const from = assignInput("from").value.trim();
    const to = assignInput("to").value.trim();
    const first = addressNumber(from);
    const last = addressNumber(to);
    const bad = [];
    if (first === null) bad.push(["from", "Expected an IPv4 address such as 192.168.1.100."]);
    if (last === null) bad.push(["to", "Expected an IPv4 address such as 192.168.1.199."]);
    else if (first !== null && last < first) bad.push(["to", "The range would end below " + from + ": To must not be below From."]);
    else if (first !== null && last - first + 1 < count) {
      bad.push(["to", "From " + from + " to " + to + " are " + (last - first + 1) + " addresses, for " + count +
                      " cameras: widen the range."]);
    }
    bad.forEach(([name, message]) => setMessage(name, message, "error"));
    if (count === 0) {
      setMessage("cameras", state.filter === "" ? "There is no camera to give an address."
                                                : "The filter shows no camera: change it to show the cameras to give addresses.", "error");
    }
    if (bad.length > 0) {
      assignStatus("Correct the marked field" + (bad.length > 1 ? "s" : "") + ".", "error");
      $("field-" + bad[0][0]).focus();
      return null;
    }
    if (count === 0) {
      assignStatus("Nothing was sent.", "error");
      return null;
    }
    return { from, to };
  }

  /// Cameras that already have an address of this computer's subnet, which no other camera
  /// shares: moving them is seldom meant.
  function assignWarning(serials) {
    const placed = serials.filter((serial) => {
      const entry = state.cameras.get(serial);
      return entry && entry.camera.reachable !== false && !isDuplicate(entry.camera);
    });
    if (placed.length === 0) return null;
    return (placed.length === 1 ? placed[0] + " already has an address" : placed.length + " of these cameras already have addresses") +
           " of this computer's subnet, shared with no other camera; " + (placed.length === 1 ? "it gets" : "they get") +
           " a new one too.";
  }

  function submitAssign(event) {
    event.preventDefault();
    if ((state.batch && !state.batch.done) || !canChange()) return;
    state.batch = null;
    const serials = chosenCameras();
    const range = requestedRange(serials.length);
    if (!range) return;
    const warning = assignWarning(serials);
    const asked = JSON.stringify([range, serials]);
    if (warning && state.assignWarned !== asked) {
      setMessage("cameras", warning, "warning");
      state.assignWarned = asked;
      $("assign-send").textContent = "Give addresses anyway";
      assignStatus("Check the warning above: press Give addresses anyway to send it all the same.", "warning");
      return;
    }
    sendAssign(range, serials);
  }

  /// Editing after a warning asks for the confirmation again.
  function editedAssign() {
    if (state.assignWarned === null) return;
    state.assignWarned = null;
    $("assign-send").textContent = "Give addresses";
    setMessage("cameras", "");
    assignStatus("");
  }

  async function sendAssign(range, serials) {
    const batch = { id: null, serials, outcomes: new Map(), inUse: [], deadline: 0, done: false, ticker: 0 };
    state.batch = batch;
    state.assignWarned = null;
    $("assign-send").textContent = "Give addresses";
    if (document.activeElement === $("assign-send")) $("assign-status").focus();
    showAssignState();
    let reply;
    try {
      reply = await api("POST", "/api/assign", { from: range.from, to: range.to, serials, seconds: CHANGE_SECONDS });
    } catch (error) {
      state.batch = null;
      showAssignState();
      assignStatus(error.status === 0 ? "The server cannot be reached: nothing was sent." : "Nothing was sent: " + sentence(error.message),
                   "error");
      if ($("assign").open) $("assign-status").focus();
      return;
    }
    batch.id = reply.batch;
    batch.serials = reply.plan.map((planned) => planned.serial);
    batch.inUse = reply.inUse;
    batch.deadline = Date.now() + CHANGE_SECONDS * 1000;
    // Outcomes may come before the plan: those of cameras that could not be sent at once.
    const known = state.outcomes.get(batch.id) || new Map();
    for (const serial of batch.serials) {
      if (known.has(serial)) {
        batch.outcomes.set(serial, known.get(serial));
        continue;
      }
      state.assigning.set(serial, batch.id);
      state.failed.delete(serial);
      state.dirty.add(serial);
    }
    schedule();
    batch.ticker = setInterval(() => {
      settleBatch();
      showAssignState();
    }, 1000);
    settleBatch();
    showAssignState();
  }

  /// One camera of a batch settled (this page's or another's): its row shows how.
  function assigned(data) {
    if (!data || typeof data.serial !== "string") return;
    const serial = data.serial;
    let outcomes = state.outcomes.get(data.batch);
    if (!outcomes) {
      state.outcomes.set(data.batch, outcomes = new Map());
      if (state.outcomes.size > 8) state.outcomes.delete(state.outcomes.keys().next().value);
    }
    outcomes.set(serial, data.state);
    if (state.assigning.get(serial) === data.batch) state.assigning.delete(serial);
    if (data.state === "confirmed") {
      if (data.camera) confirmCamera(data.camera, serial);
    } else {
      state.failed.set(serial, OUTCOME_LABELS[data.state] || "not confirmed");
    }
    state.dirty.add(serial);
    schedule();
    const batch = state.batch;
    if (!batch || batch.id !== data.batch) return;
    batch.outcomes.set(serial, data.state);
    settleBatch();
    showAssignState();
  }

  function progressOf(batch) {
    let confirmed = 0;
    const unconfirmed = [];
    for (const serial of batch.serials) {
      if (batch.outcomes.get(serial) === "confirmed") ++confirmed;
      else if (batch.outcomes.has(serial) || batch.done) unconfirmed.push(serial);
    }
    return { confirmed, unconfirmed, waiting: batch.serials.length - confirmed - unconfirmed.length };
  }

  /// The batch is done when every camera settled, or a little after its time ran out (the
  /// server's own time-out events may have been lost with the connection).
  function settleBatch() {
    const batch = state.batch;
    if (!batch || batch.done || batch.id === null) return;
    if (progressOf(batch).waiting > 0 && Date.now() < batch.deadline + GRACE_MS) return;
    batch.done = true;
    clearInterval(batch.ticker);
    for (const serial of batch.serials) {
      if (batch.outcomes.has(serial)) continue;
      if (state.assigning.get(serial) === batch.id) state.assigning.delete(serial);
      state.failed.set(serial, "not confirmed");
      state.dirty.add(serial);
    }
    // The filter chose the cameras, often by their factory address: once they moved, it would
    // hide every one of them.
    const shown = (serial) => state.cameras.has(serial) && keyOf(state.cameras.get(serial)).includes(state.filter);
    if (state.filter !== "" && !batch.serials.some(shown)) {
      $("filter").value = "";
      setFilter("");
      batch.filterCleared = true;
    }
    schedule();
    say(batchText(batch));
  }

  function batchText(batch) {
    if (batch.id === null) return "Probing the range for free addresses and sending…";
    const { confirmed, unconfirmed, waiting } = progressOf(batch);
    const total = batch.serials.length;
    const cameras = total === 1 ? " camera" : " cameras";
    if (!batch.done) {
      const left = Math.max(0, Math.ceil((batch.deadline - Date.now()) / 1000));
      return "Sent to " + total + cameras + ": " + confirmed + " confirmed, " + waiting + " confirming, " + left + " s left.";
    }
    let text = confirmed === total ? (total === 1 ? "The camera confirmed its new address." : "All " + total + " cameras confirmed their new addresses.")
             : confirmed + " of " + total + cameras + " confirmed. Not confirmed within " + CHANGE_SECONDS + " s: " +
               unconfirmed.slice(0, CHOSEN_SHOWN).join(", ") + (unconfirmed.length > CHOSEN_SHOWN ? ", and " + (unconfirmed.length - CHOSEN_SHOWN) + " more" : "") +
               "; look at the list, then try again.";
    if (batch.filterCleared) text += " The filter was cleared: it showed none of them at their new addresses.";
    if (batch.inUse.length > 0) {
      text += " Passed over " + batch.inUse.length + (batch.inUse.length === 1 ? " address" : " addresses") + " in use: " +
              batch.inUse.slice(0, 5).join(", ") + (batch.inUse.length > 5 ? ", …" : "") + ".";
    }
    return text;
  }

  function showAssignState() {
    $("assign-open").disabled = !canChange() || state.cameras.size === 0;
    if (!$("assign").open) return;
    const batch = state.batch;
    $("assign-send").disabled = (batch !== null && !batch.done) || !canChange();
    describeChosen();
    if (batch) {
      const kind = !batch.done ? "pending" : progressOf(batch).confirmed === batch.serials.length ? "ok" : "error";
      assignStatus(batchText(batch), kind);
    } else if (!state.connected) {
      assignStatus(lostText, "error");
    } else if ($("assign-status").textContent === lostText) {
      assignStatus("");
    }
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
  $("assign-open").addEventListener("click", openAssign);
  $("assign-form").addEventListener("submit", submitAssign);
  $("assign-form").addEventListener("input", editedAssign);
  $("assign-close").addEventListener("click", () => $("assign").close());
  $("assign").addEventListener("close", closedAssign);
  connect();
})();
