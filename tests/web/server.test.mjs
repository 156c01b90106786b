// The web host against a hostile browser and hostile cameras: other origins are refused on every
// API request, GET included; a wrong token changes nothing; passwords stay masked; the API answers
// while more event streams are open than it admits, and a page opened meanwhile says so and
// keeps asking for a stream; answers carry the security headers and are never compressed
// with brotli, so the page cannot be framed and the list comes at once; and a page written for the original hosts, served from --pages, lists
// the cameras while nothing outside its directory is served.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { copyFileSync, mkdirSync, mkdtempSync, rmSync, symlinkSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { TestNetwork, waitFor } from "./harness.mjs";

const generated = 3;
const hostile = 11;  // camsim --hostile
const pages = mkdtempSync(join(tmpdir(), "prowlnet-pages-"));
const network = new TestNetwork({ cameras: generated, camsimArgs: ["--hostile"], serveArgs: ["--pages", pages] });
let api;

before(async () => {
  copyFileSync(new URL("../../examples/legacy-page/index.html", import.meta.url), join(pages, "index.html"));
  mkdirSync(join(pages, "sub"));
  writeFileSync(join(pages, "sub", "page.html"), "<p>sub</p>");
  writeFileSync(join(pages, ".env"), "SECRET=1");
  writeFileSync(join(pages, "data.bin"), "binary");
  symlinkSync("/etc/passwd", join(pages, "leak.txt"));
  await network.start();
  api = `http://127.0.0.1:${network.port}/api`;
});

after(async () => {
  await network.stop();
  rmSync(pages, { recursive: true, force: true });
});

function token() {
  return JSON.parse(network.curl(`${api}/token`).body).token;
}

test("other origins are refused on every API request, and a wrong token changes nothing", () => {
  assert.equal(network.curl(`${api}/cameras`).status, 200);
  assert.equal(network.curl("-H", "Sec-Fetch-Site: same-origin", `${api}/cameras`).status, 200);
  for (const foreign of ["Sec-Fetch-Site: cross-site", "Sec-Fetch-Site: same-site", "Origin: http://example.org",
                         "Origin: null", `Origin: http://127.0.0.1:${Number(network.port) + 1}`]) {
    assert.equal(network.curl("-H", foreign, `${api}/cameras`).status, 403, foreign);
    assert.equal(network.curl("-H", foreign, `${api}/token`).status, 403, foreign);
  }
  assert.equal(network.curl("-H", `Host: LOCALHOST:${network.port}`, `${api}/search`).status, 200);
  assert.equal(network.curl("-H", "Host: localhost", `${api}/search`).status, 403, "port 80 is not this server's");
  const start = JSON.stringify({ searching: true });
  assert.equal(network.curl("-X", "POST", "-H", "X-Prowlnet-Token: 0123", "-d", start, `${api}/search`).status, 403);
  assert.match(network.curl(`${api}/search`).body, /"searching":false/);
  assert.equal(network.curl("-X", "POST", "-H", `X-Prowlnet-Token: ${token()}`, "-d", start, `${api}/search`).status, 200);
});

test("a camera's passwords are masked, and its index given", async () => {
  await waitFor(() => network.curl(`${api}/cameras/HOSTILE-CSI`).status === 200, 15000, "camera HOSTILE-CSI");
  const camera = JSON.parse(network.curl(`${api}/cameras/HOSTILE-CSI`).body);
  assert.equal(camera.accounts.length, 10);
  for (const account of camera.accounts) assert.equal(account.password, "********");
  assert.equal(typeof camera.index, "number");
  assert.equal(JSON.parse(network.curl(`${api}/cameras/__proto__`).body).serialNumber, "__proto__");
});

test("the API answers while more event streams are open than it admits; a page opened then says so and asks again", async () => {
  const streams = 30;
  const transfers = Array.from({ length: streams }, () => ["-o", "/dev/null", `${api}/events`]).flat();
  const holder = spawn("ip", ["netns", "exec", network.pc, "curl", "-s", "-N", "--parallel", "--parallel-immediate",
                              "--parallel-max", String(streams), "--max-time", "8", "-w", "%{http_code}\n",
                              ...transfers]);
  let codes = "";
  holder.stdout.on("data", (data) => { codes += data; });
  const ended = new Promise((resolve) => holder.once("exit", resolve));
  // A probe that is admitted holds its stream until curl gives up on it (exit status 28).
  const full = () => {
    try {
      return network.curl("--max-time", "0.5", "-o", "/dev/null", `${api}/events`).status === 503;
    } catch {
      return false;
    }
  };
  await waitFor(full, 6000, "every stream's place taken");
  const asked = Date.now();
  const cameras = network.curl("--max-time", "5", `${api}/cameras`);
  assert.equal(cameras.status, 200);
  assert.ok(Date.now() - asked < 2000, `GET /api/cameras took ${Date.now() - asked} ms`);
  // A browser does not retry an event stream answered with 503: the page does, after 5 s.
  const page = await network.browser.newPage();
  let streamsAsked = 0;
  page.on("request", (request) => { streamsAsked += request.url().endsWith("/api/events"); });
  await page.goto(network.url);
  await waitFor(async () => (await page.$eval("#search-state", (element) => element.textContent)) === "server busy", 5000,
                "the page to say the server is busy");
  assert.match(await page.$eval("#list-state", (element) => element.textContent), /close one of them/);
  await waitFor(() => streamsAsked >= 2, 7000, "the page to ask for a stream again");
  await page.close();
  await ended;
  const statuses = codes.trim().split("\n");
  assert.equal(statuses.length, streams);
  assert.ok(statuses.every((code) => code === "200" || code === "503"), codes);
  assert.ok(statuses.filter((code) => code === "503").length >= streams - 16, codes);
});

test("every answer forbids framing and sniffing, and the page cannot be framed", async () => {
  const headers = network.curl("-D", "-", "-o", "/dev/null", `http://127.0.0.1:${network.port}/`).body;
  assert.match(headers, /Content-Security-Policy: default-src 'self'; .*frame-ancestors 'none'/);
  assert.doesNotMatch(headers, /Content-Security-Policy: .*unsafe-inline/);
  assert.match(headers, /X-Content-Type-Options: nosniff/);
  assert.match(headers, /Referrer-Policy: no-referrer/);
  assert.match(headers, /X-Frame-Options: DENY/);
  assert.match(network.curl("-D", "-", "-o", "/dev/null", `${api}/nothing`).body, /frame-ancestors 'none'/);
  for (const path of ["/", "/app.js", "/api/cameras"]) {
    const answer = network.curl("-D", "-", "-o", "/dev/null", "-H", "Accept-Encoding: br, gzip", `http://127.0.0.1:${network.port}${path}`).body;
    assert.doesNotMatch(answer, /Content-Encoding: br/i, path);
  }
  assert.match(network.curl("-D", "-", "-o", "/dev/null", "-H", "Accept-Encoding: br, gzip", `http://127.0.0.1:${network.port}/app.js`).body,
               /Content-Encoding: gzip/);

  const framing = await network.browser.newPage();
  await framing.setContent(`<iframe src="http://127.0.0.1:${network.port}/"></iframe>`);
  const frame = framing.frames()[1];
  assert.ok(!frame.url().startsWith(network.url), frame.url());
  const framed = await frame.evaluate(() => document.querySelector("meta[name=prowlnet-token]") !== null).catch(() => false);
  assert.equal(framed, false, "the page rendered inside another page's frame");
  await framing.close();
});

test("a page written for the original hosts, served from --pages, lists the cameras", async () => {
  const legacy = await network.browser.newPage();
  const dialogs = [];
  legacy.on("dialog", (dialog) => { dialogs.push(dialog.message()); dialog.dismiss(); });
  const response = await legacy.goto(`http://127.0.0.1:${network.port}/pages/`);
  assert.match(response.headers()["content-security-policy"], /script-src 'self' 'unsafe-inline'.*frame-ancestors 'none'/);
  const total = String(generated + hostile);
  await waitFor(async () => (await legacy.$eval("#count", (e) => e.textContent)) === total, 15000,
                `${total} cameras on the legacy page`);
  const serials = await legacy.$$eval("#cameras tr td:nth-child(2)", (cells) => cells.map((cell) => cell.textContent));
  for (const serial of ["rows", "count", "__proto__", "PN00000002"]) assert.ok(serials.includes(serial), serials.join(" "));
  assert.deepEqual(dialogs, [], "a camera's serial number ran as script");
  const unknown = await legacy.evaluate(() => {
    try {
      new ActiveXObject("Prowlnet.CProwlnet").NoSuchMethod();
    } catch (e) {
      return e.message;
    }
  });
  assert.equal(unknown, "NoSuchMethod: Unknown name. (0x80020006)");
  await legacy.close();
});

test("nothing outside the pages' directory is served", () => {
  const status = (path) => network.curl("--path-as-is", "-o", "/dev/null", `http://127.0.0.1:${network.port}${path}`).status;
  assert.equal(status("/pages/sub/page.html"), 200);
  assert.equal(status("/pages"), 301);
  for (const path of ["/pages/../../../../etc/passwd", "/pages/%2e%2e/%2e%2e/%2e%2e/etc/passwd",
                      "/pages/sub%2fpage.html", "/pages/leak.txt", "/pages/.env", "/pages/data.bin",
                      "/pages/sub/..%2f..%2f..%2fetc/passwd", "/pages/sub", "/pages/nothing.html"]) {
    assert.equal(status(path), 404, path);
  }
});
