// The page against many cameras, in headless Chromium: how long after the page is opened while
// the search runs it lists them all, how long after Start search is pressed, and how long a
// keystroke in the filter box takes until the next frame is drawn. Also the server's own time
// for GET /api/cameras. Runs in private namespaces made here, as the browser tests do; not a
// test (ctest does not run it).
//
//   sudo PROWLNET_BUILD_DIR=build/plain node tests/web/bench.mjs [--cameras N] [--runs R] [--design-pacing]
import { parseArgs } from "node:util";
import { TestNetwork, waitFor } from "./harness.mjs";

const { values } = parseArgs({ options: { cameras: { type: "string", default: "1000" }, runs: { type: "string", default: "3" },
                                          "design-pacing": { type: "boolean", default: false } } });
const cameras = Number(values.cameras);
const runs = Number(values.runs);
const network = new TestNetwork({ cameras, env: values["design-pacing"] ? {} : { PROWLNET_FAST_SEARCH: "1" } });

// Records, at each frame, when the table first held `cameras` live rows: milliseconds since the
// navigation began (performance.now), or since the mark set by `window.benchMark`.
function watchRows(count) {
  window.benchMark = 0;
  window.benchListed = null;
  const look = () => {
    const rows = document.querySelectorAll("#camera-rows tr[data-serial]").length;
    if (rows >= count && window.benchListed === null) window.benchListed = performance.now() - window.benchMark;
    requestAnimationFrame(look);
  };
  requestAnimationFrame(look);
}

const requests = [];

function median(list) {
  const sorted = [...list].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

function serverCameras() {
  return JSON.parse(network.curl(`${network.url}api/cameras`).body).length;
}

async function listed(page) {
  await waitFor(() => page.evaluate(() => window.benchListed !== null), 30000, `${cameras} cameras listed`);
  return page.evaluate(() => window.benchListed);
}

/// When the page had its script and the server's list of cameras, from the browser's own timing
/// of the requests: [request sent, first byte, last byte], in milliseconds since the navigation began.
function listRequest(page) {
  return page.evaluate(() => {
    const timing = (suffix) => {
      const entry = performance.getEntriesByType("resource").find((e) => e.name.endsWith(suffix));
      return entry ? [entry.requestStart, entry.responseStart, entry.responseEnd] : [NaN, NaN, NaN];
    };
    return { list: timing("/api/cameras"), script: timing("/app.js") };
  });
}

async function openedWhileSearching(page) {
  network.setSearching(true);
  await waitFor(() => serverCameras() === cameras, 30000, "the server's table to fill");
  await page.goto(network.url);
  const time = await listed(page);
  requests.push(await listRequest(page));
  return time;
}

async function afterStartSearch(page) {
  network.setSearching(false);
  await waitFor(() => serverCameras() === 0, 10000, "the search to stop");
  await page.goto(network.url);
  await waitFor(() => page.$eval("#search-toggle", (b) => b.textContent.trim() === "Start search" && !b.disabled), 10000,
                "the page to be ready");
  await page.evaluate(() => {
    window.benchListed = null;
    window.benchMark = performance.now();
    document.getElementById("search-toggle").click();
  });
  return listed(page);
}

/// Each keystroke's time from the input event to the frame after the filtered table.
async function filterKeystrokes(page) {
  return page.evaluate(async () => {
    const input = document.querySelector("input[type=search]");
    if (!input) return null;
    const times = [];
    const frame = () => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
    for (const text of ["P", "PN", "PN0", "PN00", "PN000", "PN0000", "PN00007", "PN000077", "PN00007", "02:77", "10.200.1", ""]) {
      await frame();
      const start = performance.now();
      input.value = text;
      input.dispatchEvent(new Event("input", { bubbles: true }));
      await frame();
      times.push(performance.now() - start);
    }
    return times;
  });
}

/// GET /api/cameras by curl, asking for each encoding the server offers: a browser asks for br.
function serverListTimes() {
  const times = {};
  for (const encoding of ["identity", "gzip", "br"]) {
    const list = [];
    for (let i = 0; i < 3; ++i) {
      list.push(1000 * Number(network.curl("-o", "/dev/null", "-H", `Accept-Encoding: ${encoding}`, "-w", "%{time_total}\n",
                                           `${network.url}api/cameras`).body.trim()));
    }
    times[encoding] = list;
  }
  return times;
}

try {
  await network.start();
  const page = await network.browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  await page.evaluateOnNewDocument(watchRows, cameras);
  const opened = [];
  const started = [];
  for (let run = 0; run < runs; ++run) {
    opened.push(await openedWhileSearching(page));
    started.push(await afterStartSearch(page));
  }
  const keys = await filterKeystrokes(page);
  const server = serverListTimes();
  const ms = (list) => list.map((t) => t.toFixed(0)).join(" ");
  console.log(`cameras: ${cameras}, runs: ${runs}, pacing: ${values["design-pacing"] ? "design" : "fast"}`);
  console.log(`listed after the page was opened while searching: median ${median(opened).toFixed(0)} ms (${ms(opened)})`);
  console.log("  in the browser, [sent, first byte, last byte] ms after opening: GET /app.js " +
              requests.map((r) => "[" + ms(r.script) + "]").join(" ") + ", GET /api/cameras " +
              requests.map((r) => "[" + ms(r.list) + "]").join(" "));
  console.log(`listed after Start search: median ${median(started).toFixed(0)} ms (${ms(started)})`);
  console.log(keys ? `filter keystroke to next frame: max ${Math.max(...keys).toFixed(1)} ms, median ${median(keys).toFixed(1)} ms` +
                     ` (${ms(keys)})`
                   : "filter: the page has no filter box");
  for (const [encoding, list] of Object.entries(server)) {
    console.log(`server GET /api/cameras (curl, ${cameras} cameras, Accept-Encoding: ${encoding}): median ` +
                `${median(list).toFixed(0)} ms (${ms(list)})`);
  }
} finally {
  await network.stop();
}
