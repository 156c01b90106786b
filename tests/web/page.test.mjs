// The web host's page in headless Chromium, driven as an installer drives it, against sixty
// simulated cameras: three share a factory address, one is on this computer's subnet, four have
// serial numbers that name parts of the page or of a script object. The list fills and sorts,
// the filter and the change dialog work with the keyboard, a change waits with the seconds shown
// and is confirmed, a risky change needs a second press, the cameras at the factory address get
// addresses from a range, the page fits a phone, and a server restart is survived without a
// reload. Also: requests without the token or from another site
// change nothing. (A page written for the original hosts is served from --pages in
// server.test.mjs.)
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { join } from "node:path";
import { TestNetwork, cameraXml, subnet, waitFor } from "./harness.mjs";

const crate = ["PN20000001", "PN20000002", "PN20000003"];
const onSubnet = "PN20000004";
const hostile = ["rows", "count", "__proto__", "camera-rows"];
const generated = Array.from({ length: 52 }, (_, i) => "PN" + String(i).padStart(8, "0"));
const factory = { IPAddress: "10.1.1.64", Netmask: "255.255.255.0", Gateway: "10.1.1.1", DNS1: "10.1.1.1" };
const mac = (n) => "02:78:00:00:00:" + String(n).padStart(2, "0");

const network = new TestNetwork({
  cameras: generated.length,
  described: [
    ...crate.map((serial, i) => cameraXml(serial, { ...factory, MacAddress: mac(i) })),
    cameraXml(onSubnet, { IPAddress: `${subnet}.50`, Gateway: `${subnet}.1`, DNS1: `${subnet}.1`, MacAddress: mac(4) }),
    ...hostile.map((serial, i) => cameraXml(serial, { IPAddress: `192.168.1.${101 + i}`, MacAddress: mac(10 + i) })),
  ],
});
const everyCamera = [...crate, onSubnet, ...hostile, ...generated];
const desktop = { width: 1280, height: 800 };
const phone = { width: 390, height: 844 };
const policyViolations = [];
let page;

before(async () => {
  await network.start();
  page = await network.browser.newPage();
  page.on("pageerror", (error) => console.log("# page error: " + error.message));
  page.on("console", (message) => {
    if (/Content Security Policy/i.test(message.text())) policyViolations.push(message.text());
  });
  await page.setViewport(desktop);
});

after(async () => {
  await network.stop();
});

function screenshotPath(name) {
  const variable = name === "phone" ? "PROWLNET_PHONE_SCREENSHOT" : "PROWLNET_SCREENSHOT";
  return process.env[variable] || join(process.env.PROWLNET_BUILD_DIR, name === "phone" ? "web-page-phone.png" : "web-page.png");
}

/// The serials of the rows shown, in the table's order.
function shownSerials() {
  return page.$$eval("#camera-rows tr", (rows) => rows.filter((row) => !row.hidden).map((row) => row.dataset.serial));
}

const text = (selector) => page.$eval(selector, (element) => element.textContent.trim());

/// The row of a camera, found by comparing serials: they are camera text, never a selector.
function row(serial) {
  return page.evaluateHandle((serial) => [...document.querySelectorAll("#camera-rows tr")]
    .find((tr) => tr.dataset.serial === serial), serial);
}

async function cell(serial, column) {
  return (await row(serial)).$eval("td.c-" + column, (td) => td.textContent.trim());
}

/// Opens the change dialog of a camera with the mouse, or with the keyboard (Tab to its button,
/// then Enter).
async function openChange(serial, { keyboard = false } = {}) {
  const button = await (await row(serial)).$("button.change");
  if (keyboard) {
    await button.focus();
    await page.keyboard.press("Enter");
  } else {
    // As a person does: scroll to the row, look, then click.
    await button.evaluate((b) => new Promise((resolve) => {
      b.scrollIntoView({ block: "center" });
      requestAnimationFrame(() => requestAnimationFrame(resolve));
    }));
    await button.click();
  }
  await waitFor(() => page.$eval("#change", (dialog) => dialog.open), 5000, "the change dialog");
}

async function fill(name, value, form = "#change-form") {
  const selector = `${form} input[name=${name}]`;
  await page.$eval(selector, (input) => { input.value = ""; });
  if (value !== "") await page.type(selector, value);
}

const message = (name) => text(`#message-${name}`);
const dialogOpen = () => page.$eval("#change", (dialog) => dialog.open);

test("the list fills as cameras answer: all counted, hostile serials listed, addresses linked and marked", async () => {
  const opened = Date.now();
  await page.goto(network.url);
  await waitFor(async () => (await text("#search-state")) === "not searching", 10000, "the page to connect");
  assert.match(await text("#placeholder-text"), /press Start search/);
  // The control sends its first request two seconds after the start (the design's pacing): the
  // list says it searches meanwhile.
  await page.$eval("#placeholder", (placeholder) => {
    window.sawSearchingRow = false;
    new MutationObserver(() => {
      window.sawSearchingRow ||= !placeholder.hidden && /^Searching, no camera has answered yet/.test(placeholder.textContent);
    }).observe(placeholder, { subtree: true, childList: true, characterData: true, attributes: true });
  });
  await page.click("#search-toggle");
  await waitFor(async () => (await shownSerials()).length === everyCamera.length, 20000, "every camera in the list");
  console.log(`# ${everyCamera.length} cameras shown ${Date.now() - opened} ms after the page was opened`);
  assert.deepEqual((await shownSerials()).sort(), [...everyCamera].sort());
  assert.equal(await text("#cameras-title"), `${everyCamera.length} cameras (${everyCamera.length - 1} on another subnet)`);
  assert.equal(await page.$eval("#placeholder", (tbody) => tbody.hidden), true);
  assert.equal(await page.evaluate(() => window.sawSearchingRow), true);
  await waitFor(async () => (await text("#announce")) === `Searching. ${await text("#cameras-title")}.`, 5000,
                "the count announced");

  assert.equal(await cell("PN00000000", "ip"), "10.200.0.2");
  const link = await (await row("PN00000000")).$eval("td.c-ip a", (a) => ({ href: a.href, rel: a.rel }));
  assert.deepEqual(link, { href: "http://10.200.0.2/", rel: "noopener noreferrer" });
  assert.equal(await cell("PN00000000", "notes"), "other subnet");
  assert.equal(await cell(onSubnet, "notes"), "");
  for (const serial of crate) assert.equal(await cell(serial, "notes"), "other subnetduplicate address");
  assert.equal(await (await row("__proto__")).$eval("button.change", (b) => b.getAttribute("aria-label")), "Change __proto__");
  assert.equal(await page.$eval("#camera-table thead", (head) => [...head.querySelectorAll("th")]
    .every((th) => th.textContent.trim() !== "")), true);

  await page.click("#camera-table th.c-ip button");
  assert.equal(await page.$eval("#camera-table th.c-ip", (th) => th.getAttribute("aria-sort")), "ascending");
  assert.deepEqual((await shownSerials()).slice(0, 5), [...crate, onSubnet, "PN00000000"]);
  await page.mouse.move(desktop.width / 2, 10);
  await page.screenshot({ path: screenshotPath("desktop") });
  await page.click("#camera-table th.c-index button");
  assert.deepEqual((await shownSerials()).slice(0, 8), [...crate, onSubnet, ...hostile]);
});

test("with sixty cameras: the filter narrows the list, a change far down opens in view with the address focused, Escape returns", async () => {
  await page.type("#filter", "pn0000004");
  await waitFor(async () => (await shownSerials()).length === 10, 2000, "the filter");
  assert.deepEqual(await shownSerials(), generated.slice(40, 50));
  assert.match(await text("#cameras-title"), /, 10 shown$/);
  await page.$eval("#filter", (input) => { input.value = ""; input.dispatchEvent(new Event("input")); });
  assert.equal((await shownSerials()).length, everyCamera.length);

  await openChange("PN00000049", { keyboard: true });
  assert.equal(await text("#change-serial"), "PN00000049");
  const box = await page.$eval("#change", (dialog) => dialog.getBoundingClientRect().toJSON());
  assert.ok(box.top >= 0 && box.bottom <= desktop.height, `the dialog is in view: ${JSON.stringify(box)}`);
  assert.equal(await page.evaluate(() => document.activeElement.name), "ipAddress");
  await page.keyboard.press("Escape");
  assert.equal(await dialogOpen(), false);
  assert.equal(await page.evaluate(() => document.activeElement.getAttribute("aria-label")), "Change PN00000049");

  await openChange("__proto__");
  assert.equal(await text("#change-serial"), "__proto__");
  await page.click("#change-close");
  assert.equal(await page.evaluate(() => document.activeElement.getAttribute("aria-label")), "Change __proto__");
});

test("a change is checked field by field, waits with the seconds left shown, and is confirmed by the camera", async () => {
  const index = await cell("PN00000049", "index");
  await openChange("PN00000049");
  await fill("ipAddress", "300.1.1.1");
  await fill("gateway", "");
  await fill("dns2", "");
  await page.click("#change-send");
  assert.match(await message("ipAddress"), /Expected an IPv4 address/);
  assert.match(await message("gateway"), /Cannot be emptied/);
  assert.equal(await message("dns2"), "", "a DNS server may be cleared");
  assert.equal(await page.$eval("#change-form input[name=ipAddress]", (input) => input.getAttribute("aria-invalid")), "true");
  assert.equal(await page.evaluate(() => document.activeElement.name), "ipAddress");

  await fill("ipAddress", `${subnet}.77`);
  await fill("netmask", "255.255.255.0");
  await fill("gateway", `${subnet}.1`);
  await page.click("#change-send");
  await waitFor(async () => !(await dialogOpen()) ||
                             (await page.$eval("#change-send", (b) => b.disabled) && /\d+ s left/.test(await text("#change-status"))),
                2000, "the pending state");
  await waitFor(async () => !(await dialogOpen()), 25000, "the camera's confirmation");
  assert.match(await text("#list-status"), /PN00000049 confirmed: now at 10\.77\.242\.77/);
  assert.match(network.camsimOutput(), /modification for "PN00000049" applied/);
  assert.equal(await cell("PN00000049", "ip"), `${subnet}.77`);
  assert.equal(await cell("PN00000049", "index"), index);
  assert.doesNotMatch(await cell("PN00000049", "notes"), /other subnet/);
  assert.equal(JSON.parse(network.curl(`${network.url}api/cameras/PN00000049`).body).dns2, "", "DNS 2 cleared");
  assert.equal(await page.evaluate(() => document.activeElement.getAttribute("aria-label")), "Change PN00000049");
});

test("the free address button fills in an unused address of this computer's subnet", async () => {
  await openChange("PN00000005");
  await page.click("#free-address");
  await waitFor(async () => /free on this computer's subnet/.test(await message("ipAddress")), 20000, "a free address");
  assert.equal(await page.$eval("#change-form input[name=ipAddress]", (input) => input.value), `${subnet}.254`);
  await page.keyboard.press("Escape");
});

test("cameras sharing an address are marked, and giving one's address to another needs a second press", async () => {
  assert.equal((await page.$$eval("#camera-rows td.c-notes", (cells) => cells.filter((c) => /duplicate address/.test(c.textContent)))).length,
               crate.length);
  await openChange("PN00000006");
  await fill("ipAddress", "10.1.1.64");
  await page.click("#change-send");
  assert.match(await message("ipAddress"), /10\.1\.1\.64 is held by camera PN20000001 and 2 more/);
  assert.match(await message("gateway"), /outside 10\.1\.1\.64\/255\.255\.0\.0/);
  assert.equal(await text("#change-send"), "Send anyway");
  assert.equal(await page.$eval("#change-send", (b) => b.disabled), false);
  assert.doesNotMatch(network.camsimOutput(), /modification for "PN00000006"/);
  await page.click("#change-close");
});

test("requests without the page's token or from another site change nothing", async () => {
  const before = network.curl(`http://127.0.0.1:${network.port}/api/search`).body;
  const token = await page.$eval('meta[name="prowlnet-token"]', (m) => m.content);
  const stop = JSON.stringify({ searching: false });
  const noToken = network.curl("-X", "POST", "-d", stop, `http://127.0.0.1:${network.port}/api/search`);
  assert.equal(noToken.status, 403);
  const foreign = network.curl("-X", "POST", "-H", `X-Prowlnet-Token: ${token}`, "-H", "Origin: http://example.org",
                               "-d", stop, `http://127.0.0.1:${network.port}/api/search`);
  assert.equal(foreign.status, 403);
  const invoked = network.curl("-X", "POST", "-d", JSON.stringify({ method: "StopSearch" }),
                               `http://127.0.0.1:${network.port}/api/invoke`);
  assert.equal(invoked.status, 403);
  const rebound = network.curl("-H", `Host: cameras.example.org:${network.port}`, `http://127.0.0.1:${network.port}/api/cameras`);
  assert.equal(rebound.status, 403);
  assert.equal(network.curl(`http://127.0.0.1:${network.port}/api/search`).body, before);
  assert.match(before, /"searching":true/);
});

test("on a phone each camera is a card: serial, address and Change button on screen together", async () => {
  await waitFor(() => page.$$eval("#camera-rows tr.confirmed", (rows) => rows.length === 0), 10000, "the highlight to fade");
  await page.setViewport(phone);
  try {
    assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= innerWidth), "nothing wider than the screen");
    const card = await row(onSubnet);
    await card.evaluate((tr) => tr.scrollIntoView({ block: "center" }));
    const boxes = await card.evaluate((tr) => ["td.c-serial", "td.c-ip a", "button.change"]
      .map((selector) => tr.querySelector(selector).getBoundingClientRect().toJSON()));
    for (const box of boxes) {
      assert.ok(box.left >= 0 && box.right <= phone.width && box.top >= 0 && box.bottom <= phone.height,
                `on screen: ${JSON.stringify(box)}`);
    }
    const header = await page.$eval("header", (h) => [...h.querySelectorAll("#search-state, #search-toggle")]
      .map((e) => e.getBoundingClientRect().right));
    assert.ok(header.every((right) => right <= phone.width), "the header wraps");
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.screenshot({ path: screenshotPath("phone") });
  } finally {
    await page.setViewport(desktop);
  }
});

test("the cameras at one factory address get addresses from a range, each confirmed in its row", async () => {
  const shown = (selector) => page.$eval(selector, (element) => element.textContent.trim());
  await page.type("#filter", "10.1.1.64");
  await waitFor(async () => (await shownSerials()).length === crate.length, 2000, "the filter");
  await page.click("#assign-open");
  await waitFor(() => page.$eval("#assign", (dialog) => dialog.open), 5000, "the range dialog");
  const box = await page.$eval("#assign", (dialog) => dialog.getBoundingClientRect().toJSON());
  assert.ok(box.top >= 0 && box.bottom <= desktop.height, `the dialog is in view: ${JSON.stringify(box)}`);
  assert.equal(await page.evaluate(() => document.activeElement.name), "from");
  assert.deepEqual(await page.$eval("#assign-form", (form) => [form.elements.from.value, form.elements.to.value]),
                   [`${subnet}.11`, `${subnet}.254`], "this computer's subnet above its own address");
  assert.equal(await shown("#assign-cameras"), `3 cameras the filter shows: ${crate.join(", ")}.`);

  await fill("from", `${subnet}.100`, "#assign-form");
  await fill("to", `${subnet}.101`, "#assign-form");
  await page.click("#assign-send");
  assert.match(await shown("#message-to"), /are 2 addresses, for 3 cameras/);
  assert.equal(await page.$eval("#field-to", (input) => input.getAttribute("aria-invalid")), "true");
  assert.equal(await page.evaluate(() => document.activeElement.name), "to");
  await fill("from", "10.9.9.1", "#assign-form");
  await fill("to", "10.9.9.9", "#assign-form");
  await page.click("#assign-send");
  await waitFor(async () => /^Nothing was sent: /.test(await shown("#assign-status")), 5000, "the server's refusal");
  assert.doesNotMatch(network.camsimOutput(), /modification for "PN2000000/);

  await fill("from", `${subnet}.100`, "#assign-form");
  await fill("to", `${subnet}.120`, "#assign-form");
  await page.$eval("#assign-status", (element) => {
    window.sawAssignPending = false;
    new MutationObserver(() => {
      window.sawAssignPending ||= document.getElementById("assign-send").disabled &&
                                  /^Sent to 3 cameras: \d confirmed, \d confirming, \d+ s left\.$/.test(element.textContent);
    }).observe(element, { subtree: true, childList: true, characterData: true });
  });
  await page.click("#assign-send");
  await waitFor(async () => /^All 3 cameras confirmed/.test(await shown("#assign-status")), 25000, "every camera's confirmation");
  assert.equal(await page.evaluate(() => window.sawAssignPending), true, "Send disabled and the seconds shown meanwhile");
  assert.equal(await page.$eval("#assign-send", (button) => button.disabled), false);
  const given = new Set();
  for (const serial of crate) {
    assert.match(network.camsimOutput(), new RegExp(`modification for "${serial}" applied`));
    const address = await cell(serial, "ip");
    const last = Number(address.split(".")[3]);
    assert.ok(address.startsWith(`${subnet}.`) && last >= 100 && last <= 120, address);
    given.add(address);
    assert.doesNotMatch(await cell(serial, "notes"), /duplicate address|other subnet|confirming/);
  }
  assert.equal(given.size, crate.length);
  assert.match(await shown("#assign-status"), /The filter was cleared/);
  await waitFor(async () => (await shownSerials()).length === everyCamera.length, 2000, "every camera shown again");
  await page.keyboard.press("Escape");
  assert.equal(await page.$eval("#assign", (dialog) => dialog.open), false);
  assert.equal(await page.evaluate(() => document.activeElement.id), "assign-open");
});

test("when the server stops the page says so, and once it runs again the page works without a reload", async () => {
  await page.evaluate(() => { window.sameDocument = true; });
  assert.equal(await network.stopServer(), 0);
  await waitFor(async () => (await text("#search-state")) === "connection lost", 10000, "the page to see the loss");
  assert.match(await text("#list-state"), /Connection to the server lost/);
  assert.equal(await page.$eval("#camera-table", (table) => table.classList.contains("stale")), true);
  assert.equal(await page.$eval("#search-toggle", (b) => b.disabled), true);
  assert.equal(await page.$$eval("#camera-rows button.change", (buttons) => buttons.every((b) => b.disabled)), true);

  await network.startServer(network.port);
  await waitFor(async () => (await text("#search-state")) === "not searching", 15000, "the page to reconnect");
  assert.match(await text("#list-state"), /Search stopped/);
  assert.equal((await shownSerials()).length, everyCamera.length);
  await page.click("#search-toggle");
  await waitFor(async () => (await text("#search-state")) === "searching", 5000, "the search to start with the new run's token");
  await waitFor(async () => (await shownSerials()).length === everyCamera.length, 20000, "every camera again");
  assert.equal(await page.$eval("#camera-table", (table) => table.classList.contains("stale")), false);
  assert.equal(await page.$$eval("#camera-rows button.change", (buttons) => buttons.every((b) => !b.disabled)), true);
  assert.equal(await page.evaluate(() => window.sameDocument), true);
  assert.deepEqual(policyViolations, []);
});
