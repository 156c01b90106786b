// The web host's page in headless Chromium against twelve simulated cameras: the table fills
// from the server's events, a change made in the form is confirmed by the camera, a free address
// is filled in, and requests without the page's token or from another site change nothing. (A
// page written for the original hosts is served from --pages in server.test.mjs: this page's
// policy runs no inline script.)
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { join } from "node:path";
import { TestNetwork, subnet, waitFor } from "./harness.mjs";

const network = new TestNetwork(12);
let page;

before(async () => {
  await network.start();
  page = await network.browser.newPage();
  await page.setViewport({ width: 1280, height: 900 });
});

after(async () => {
  await network.stop();
});

async function rows() {
  return page.$$eval("#camera-rows tr", (trs) => trs.map((tr) => tr.dataset.serial));
}

test("the page lists the cameras as they answer", async () => {
  const opened = Date.now();
  await page.goto(network.url);
  await page.click("#search-toggle");
  await waitFor(async () => (await rows()).length === 12, 20000, "twelve cameras in the table");
  console.log(`# twelve cameras shown ${Date.now() - opened} ms after the page was opened`);
  assert.deepEqual((await rows()).sort(), Array.from({ length: 12 }, (_, i) => "PN" + String(i).padStart(8, "0")));
  assert.equal(await page.$eval("[data-host=ipAddress]", (e) => e.textContent), `${subnet}.10`);
  const screenshot = process.env.PROWLNET_SCREENSHOT || join(process.env.PROWLNET_BUILD_DIR, "web-page.png");
  await page.screenshot({ path: screenshot, fullPage: true });
});

test("a change made in the form is confirmed by the camera", async () => {
  await page.click("#camera-PN00000004 button");
  await page.$eval("#change-form input[name=ipAddress]", (input) => { input.value = ""; });
  await page.type("#change-form input[name=ipAddress]", "300.1.1.1");
  await page.click("#change-form button[type=submit]");
  assert.match(await page.$eval("#change-status", (e) => e.textContent), /IP address: expected/);

  await page.$eval("#change-form input[name=ipAddress]", (input) => { input.value = ""; });
  await page.type("#change-form input[name=ipAddress]", `${subnet}.77`);
  await page.$eval("#change-form input[name=netmask]", (input) => { input.value = "255.255.255.0"; });
  await page.click("#change-form button[type=submit]");
  await waitFor(async () => /confirmed/.test(await page.$eval("#change-status", (e) => e.textContent)), 25000,
                "the camera's confirmation");
  assert.match(network.camsimOutput(), /modification for "PN00000004" applied/);
  assert.equal(await page.$eval("#camera-PN00000004 td.ip", (e) => e.textContent), `${subnet}.77`);
});

test("the free address button fills in an unused address of this computer's subnet", async () => {
  await page.click("#camera-PN00000005 button");
  await page.click("#free-address");
  await waitFor(async () => /Free address/.test(await page.$eval("#change-status", (e) => e.textContent)), 20000,
                "a free address");
  const address = await page.$eval("#change-form input[name=ipAddress]", (input) => input.value);
  assert.equal(address, `${subnet}.254`);
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
