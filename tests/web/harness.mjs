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

/// What a sanitizer prints when it finds a fault in a program under test.
const sanitizerReports = ["ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "WARNING: ThreadSanitizer", "runtime error:"];

export class TestNetwork {
  /// `camsimArgs` and `serveArgs` are added to camsim's and the server's command lines.
  constructor(cameras, { camsimArgs = [], serveArgs = [] } = {}) {
    this.pc = `prowlnet-web-${process.pid}-pc`;
    this.lan = `prowlnet-web-${process.pid}-lan`;
    this.work = mkdtempSync(join(tmpdir(), "prowlnet-web-"));
    this.children = [];
    this.cameras = cameras;
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
    this.camsim = this.spawn(this.lan, join(build, "tools/camsim/camsim"),
                             ["--count", String(this.cameras), "--log", ...this.camsimArgs], this.camsimLog);
    await waitFor(() => this.camsimOutput().includes("listening"), 10000, "camsim");

    const serverLog = join(this.work, "server.log");
    this.server = this.spawn(this.pc, join(build, "tools/prowlnet/prowlnet"),
                             ["serve", "--listen", "127.0.0.1:0", ...this.serveArgs], serverLog);
    await waitFor(() => /serving (http:\S+)/.test(readFileSync(serverLog, "utf8")), 15000, "the server");
    this.url = /serving (http:\S+)/.exec(readFileSync(serverLog, "utf8"))[1];
    this.port = new URL(this.url).port;

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

  spawn(ns, program, args, logFile) {
    const out = openSync(logFile, "a");
    const child = spawn("ip", ["netns", "exec", ns, program, ...args], {
      stdio: ["ignore", out, out],
      env: { ...process.env, PROWLNET_PREFIX: join(this.work, "prefix") },
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

  /// Stops everything and removes the namespaces; throws when camsim or the server did not exit
  /// with 0 on SIGTERM or printed a sanitizer's report.
  async stop() {
    if (this.browser) await this.browser.close().catch(() => {});
    for (const child of this.children) child.kill("SIGTERM");
    await Promise.all(this.children.map((child) => child.exitCode !== null || child.signalCode !== null ? null
      : new Promise((resolve) => child.once("exit", resolve))));
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
