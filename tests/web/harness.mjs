// A private test network for the web host: namespace pc holds the server and the browser,
// namespace lan holds camsim's cameras; both are made here, named for this process, and removed
// on every way out. Nothing is sent outside them.
import { execFileSync, spawn } from "node:child_process";
import { chmodSync, mkdirSync, mkdtempSync, openSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { basename, join } from "node:path";
import puppeteer from "puppeteer-core";

const build = process.env.PROWLNET_BUILD_DIR;
if (!build) throw new Error("PROWLNET_BUILD_DIR must name the build to test (for example build/plain)");

export const subnet = "10.77.242";

const running = (child) => child.exitCode === null && child.signalCode === null;

/// What a sanitizer prints when it finds a fault in a program under test.
const sanitizerReports = ["ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "WARNING: ThreadSanitizer", "runtime error:"];

function ip(...args) {
  execFileSync("ip", args, { stdio: ["ignore", "ignore", "inherit"] });
}

/// Waits for `condition` to hold, polling, until `timeout` milliseconds pass.
export async function waitFor(condition, timeout, what) {
  const deadline = Date.now() + timeout;
  for (;;) {
    if (await condition()) return;
    if (Date.now() > deadline) throw new Error("timed out waiting for " + what);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

/// A CAMERA element for camsim's --file: `lan` holds the LANConfig attributes that differ from
/// a generated camera's. Values are written as XML attribute text.
export function cameraXml(serial, lan = {}) {
  const attributes = { MacAddress: "02:78:00:00:00:01", DHCP: "0", IPAddress: "192.168.1.64", Netmask: "255.255.255.0",
                       Gateway: "192.168.1.1", DNS1: "192.168.1.1", DNS2: "", ...lan };
  const quoted = (value) => String(value).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/"/g, "&quot;");
  const list = Object.entries(attributes).map(([name, value]) => `${name}="${quoted(value)}"`).join(" ");
  return `<CAMERA><IPC_SERIALNUMBER SerialNumber="${quoted(serial)}"/><DEVICE_TYPE DeviceType="NVS-2210"/>` +
         `<LANConfig ${list}/><MediaStreamConfig><StreamAccess Auth="1" VideoPort="554" RTPOverRTSP="1" PTZPort="6000"` +
         ` WEBPort="80"/></MediaStreamConfig><UserConfig><Account Username="admin" Password="12345" Group="administrators"` +
         ` Status="1"/></UserConfig></CAMERA>`;
}

export class TestNetwork {
  /// `cameras`: how many cameras camsim generates; `described`: CAMERA elements (cameraXml) it
  /// simulates besides them; `env`: the server's environment beyond this process's; `camsimArgs`
  /// and `serveArgs` are added to camsim's and the server's command lines.
  constructor({ cameras = 12, described = [], env = {}, camsimArgs = [], serveArgs = [] } = {}) {
    this.pc = `prowlnet-web-${process.pid}-pc`;
    this.lan = `prowlnet-web-${process.pid}-lan`;
    this.work = mkdtempSync(join(tmpdir(), "prowlnet-web-"));
    this.children = [];
    this.cameras = cameras;
    this.described = described;
    this.env = env;
    this.serverRuns = 0;
    this.camsimArgs = camsimArgs;
    this.serveArgs = serveArgs;
  }

  async start() {
    ip("netns", "add", this.pc);
    ip("netns", "add", this.lan);
    const a = `pw${process.pid % 100000}a`;
    const b = `pw${process.pid % 100000}b`;
    ip("link", "add", a, "netns", this.pc, "type", "veth", "peer", "name", b, "netns", this.lan);
    ip("-n", this.pc, "addr", "add", `${subnet}.10/24`, "dev", a);
    ip("-n", this.lan, "addr", "add", `${subnet}.1/24`, "dev", b);
    for (const ns of [this.pc, this.lan]) ip("-n", ns, "link", "set", "lo", "up");
    ip("-n", this.pc, "link", "set", a, "up");
    ip("-n", this.lan, "link", "set", b, "up");
    ip("-n", this.pc, "route", "add", "default", "via", `${subnet}.1`);
    mkdirSync(`/etc/netns/${this.pc}`, { recursive: true });
    writeFileSync(`/etc/netns/${this.pc}/resolv.conf`, `nameserver ${subnet}.1\n`);

    this.camsimLog = join(this.work, "camsim.log");
    const camsimArgs = ["--count", String(this.cameras), "--log", ...this.camsimArgs];
    if (this.described.length > 0) {
      const file = join(this.work, "cameras.xml");
      writeFileSync(file, `<CAMERAS>${this.described.join("")}</CAMERAS>`);
      camsimArgs.push("--file", file);
    }
    this.camsim = this.spawn(this.lan, join(build, "tools/camsim/camsim"), camsimArgs, this.camsimLog);
    await waitFor(() => this.camsimOutput().includes("listening"), 10000, "camsim");

    await this.startServer(0);

    // The browser runs in namespace pc too; puppeteer talks to it over a pipe, which crosses.
    const chromium = join(this.work, "chromium-in-pc");
    writeFileSync(chromium, `#!/bin/sh\nexec ip netns exec ${this.pc} /usr/bin/chromium "$@"\n`);
    chmodSync(chromium, 0o755);
    this.browser = await puppeteer.launch({
      executablePath: chromium,
      pipe: true,
      headless: true,
      args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", `--user-data-dir=${join(this.work, "profile")}`],
    });
  }

  /// Starts `prowlnet serve` on `port` (0: any free one) and waits until it says where it serves.
  async startServer(port) {
    const log = join(this.work, `server-${++this.serverRuns}.log`);
    this.server = this.spawn(this.pc, join(build, "tools/prowlnet/prowlnet"), ["serve", "--listen", `127.0.0.1:${port}`, ...this.serveArgs],
                             log, this.env);
    const serving = () => /serving (http:\S+)/.exec(readFileSync(log, "utf8"));
    await waitFor(() => serving() || !running(this.server), 15000, "the server");
    if (!serving()) throw new Error("the server did not start: " + readFileSync(log, "utf8"));
    this.url = serving()[1];
    this.port = new URL(this.url).port;
  }

  /// Stops the server as Ctrl-C does; its exit status.
  async stopServer() {
    const server = this.server;
    if (running(server)) {
      const exited = new Promise((resolve) => server.once("exit", resolve));
      server.kill("SIGTERM");
      await exited;
    }
    return server.exitCode;
  }

  spawn(ns, program, args, logFile, env = {}) {
    const out = openSync(logFile, "a");
    const child = spawn("ip", ["netns", "exec", ns, program, ...args], {
      stdio: ["ignore", out, out],
      env: { ...process.env, PROWLNET_PREFIX: join(this.work, "prefix"), ...env },
    });
    child.logFile = logFile;
    this.children.push(child);
    return child;
  }

  camsimOutput() {
    return readFileSync(this.camsimLog, "utf8");
  }

  /// Runs curl in namespace pc; its output and HTTP status.
  curl(...args) {
    const out = execFileSync("ip", ["netns", "exec", this.pc, "curl", "-s", "-w", "\n%{http_code}", ...args]).toString();
    const at = out.lastIndexOf("\n");
    return { body: out.slice(0, at), status: Number(out.slice(at + 1)) };
  }

  /// The token of the page the running server serves.
  token() {
    return /name="prowlnet-token" content="([0-9a-f]+)"/.exec(this.curl(this.url).body)[1];
  }

  /// Starts or stops the search as the page does.
  setSearching(on) {
    return this.curl("-X", "POST", "-H", `X-Prowlnet-Token: ${this.token()}`, "-d", JSON.stringify({ searching: on }),
                     `${this.url}api/search`);
  }

  /// Stops everything and removes the namespaces; throws when camsim or a server did not exit
  /// with 0 on SIGTERM or printed a sanitizer's report.
  async stop() {
    if (this.browser) await this.browser.close().catch(() => {});
    const live = this.children.filter(running);
    const exited = live.map((child) => new Promise((resolve) => child.once("exit", resolve)));
    for (const child of live) child.kill("SIGTERM");
    await Promise.all(exited);
    const faults = [];
    for (const child of this.children) {
      const log = readFileSync(child.logFile, "utf8");
      const name = basename(child.spawnargs[4]);
      if (child.exitCode !== 0) faults.push(`${name} ended with ${child.exitCode ?? child.signalCode}`);
      for (const report of sanitizerReports) {
        if (log.includes(report)) faults.push(`${name} printed "${report}":\n${log}`);
      }
    }
    for (const ns of [this.pc, this.lan]) {
      try { ip("netns", "delete", ns); } catch { /* already gone */ }
    }
    rmSync(`/etc/netns/${this.pc}`, { recursive: true, force: true });
    rmSync(this.work, { recursive: true, force: true });
    if (faults.length > 0) throw new Error(faults.join("\n"));
  }
}
