// Drives plexor.html in headless Chromium from file:// and compares what it saves with what
// the native `plexor convert --threads 1` writes for the same files and choices. Run by
// scripts/web-check, which builds everything first.
//   node web/tools/web-check.mjs PAGE PLEXOR WORKDIR SAMPLES BENCH_DIR BROKEN_DIR ZIP_DIR
import { execFileSync } from "node:child_process";
import { createRequire } from "node:module";
import fs from "node:fs";
import net from "node:net";
import path from "node:path";

const [pagePath, plexor, work, samples, benchDir, brokenDir, zipDir] = process.argv.slice(2).map((p) => path.resolve(p));
const require = createRequire(path.join(work, "npm") + "/");
const puppeteer = require("puppeteer-core");
const L = require(path.resolve(path.dirname(new URL(import.meta.url).pathname), "../js/logic.js"));

let failures = 0;
let passes = 0;
function check(ok, what) {
  if (ok) passes++;
  else failures++;
  console.log(`${ok ? "ok  " : "FAIL"} ${what}`);
}

// Any connection Chromium opens goes through this proxy, from the page, its worker or
// anything else in the browser: the count must stay zero.
const proxyHits = [];
const proxy = net.createServer((socket) => {
  socket.once("data", (d) => proxyHits.push(d.toString("latin1").split("\r\n")[0]));
  socket.on("error", () => {});
  setTimeout(() => socket.destroy(), 100);
});
await new Promise((r) => proxy.listen(0, "127.0.0.1", r));

const downloads = path.join(work, "check/downloads");
const nativeOut = path.join(work, "check/native");
fs.rmSync(downloads, { recursive: true, force: true });
fs.rmSync(nativeOut, { recursive: true, force: true });
fs.mkdirSync(downloads, { recursive: true });
fs.mkdirSync(nativeOut, { recursive: true });

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  headless: true,
  args: [
    "--no-sandbox",
    `--proxy-server=http://127.0.0.1:${proxy.address().port}`,
    "--proxy-bypass-list=<-loopback>",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-default-apps",
    "--disable-sync",
    "--disable-extensions",
    "--no-first-run",
    "--disable-domain-reliability",
    "--disable-features=OptimizationHints,MediaRouter,Translate",
  ],
});
const page = await browser.newPage();
await page.setViewport({ width: 1200, height: 1000 });
const requests = [];
page.on("request", (r) => requests.push(r.url()));
page.on("pageerror", (e) => check(false, `no script error on the page: ${e.message}`));
const cdp = await page.createCDPSession();
await cdp.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });

await page.goto("file://" + pagePath);
await page.waitForSelector("body[data-ready]", { timeout: 30000 });
check(true, "the page loads from file:// and starts its worker");

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// rows: how many the list should show, when it is not one per .shp given (archives).
async function load(files, rows) {
  await page.click("#btnClear");
  const input = await page.$("#inpFiles");
  await input.uploadFile(...files);
  await page.waitForFunction(
    (n) => document.querySelectorAll("#lvwFiles tbody tr").length === n && !document.querySelector("#lvwFiles").innerText.includes("読み取っています"),
    { timeout: 60000 },
    rows ?? new Set(files.filter((f) => f.toLowerCase().endsWith(".shp")).map((f) => f.toLowerCase())).size,
  );
}

async function choose({ coordsys, dateFormat, charset }) {
  await page.select("#lstCoordSys", String(coordsys));
  await page.click(`input[name=dateFormat][value="${dateFormat}"]`);
  await page.click(`input[name=charset][value="${charset}"]`);
}

async function run() {
  await page.evaluate(() => delete document.body.dataset.lastRun);
  const start = Date.now();
  await page.click("#btnConvert");
  await page.waitForSelector("body[data-last-run]", { timeout: 600000, polling: 50 });
  return { ms: Date.now() - start, state: await page.$eval("body", (b) => b.dataset.lastRun) };
}

async function waitForDownload(name) {
  const target = path.join(downloads, name);
  for (let i = 0; i < 600; i++) {
    if (fs.existsSync(target) && !fs.existsSync(target + ".crdownload")) {
      await sleep(100);
      return target;
    }
    await sleep(100);
  }
  throw new Error(`no download of ${name}`);
}

async function clickDownload(selector, name) {
  fs.rmSync(path.join(downloads, name), { force: true });
  await page.click(selector);
  return waitForDownload(name);
}

function native(choice, sources, cwd, outDir) {
  fs.mkdirSync(outDir, { recursive: true });
  const args = [...L.convertOptions(choice).commandLine, "-d", outDir, ...sources];
  const start = Date.now();
  let stderr = "";
  try {
    execFileSync(plexor, args, { cwd, stdio: ["ignore", "pipe", "pipe"] });
  } catch (e) {
    stderr = e.stderr.toString();
    return { ms: Date.now() - start, stderr, failed: true, stdout: e.stdout.toString() };
  }
  return { ms: Date.now() - start, stderr, failed: false };
}

function same(a, b, what) {
  const x = fs.readFileSync(a);
  const y = fs.readFileSync(b);
  check(x.equals(y), `${what}: ${x.length} bytes, same as plexor convert`);
}

async function screenshot(name) {
  await page.screenshot({ path: path.join(work, `screenshot-${name}.png`), fullPage: true });
}

// 1. The three samples at once: one zip of three pairs.
{
  const choice = { coordsys: 9, dateFormat: "yyyy/mm/dd", charset: "cp932" };
  const names = ["roads", "parcels", "stations"];
  await load(names.flatMap((n) => ["shp", "dbf", "shx"].map((e) => path.join(samples, `${n}.${e}`))));
  await choose(choice);
  const r = await run();
  check(r.state === "done", "the samples convert");
  const zip = await clickDownload("#lnkZip", "plexor-mif.zip");
  const unpacked = path.join(work, "check/unzipped");
  fs.rmSync(unpacked, { recursive: true, force: true });
  // Python's zipfile checks every member's CRC as it reads: an independent reader.
  execFileSync("python3", ["-c", "import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None; z.extractall(sys.argv[2])", zip, unpacked]);
  const out = path.join(nativeOut, "samples");
  native(choice, names.map((n) => `${n}.shp`), samples, out);
  for (const n of names) for (const e of ["mif", "mid"]) same(path.join(unpacked, `${n}.${e}`), path.join(out, `${n}.${e}`), `zip member ${n}.${e}`);
}

// 2. One sample with the other choices: the pair as two downloads.
{
  const choice = { coordsys: 30, dateFormat: "yyyymmdd", charset: "utf-8" };
  await load(["shp", "dbf", "shx"].map((e) => path.join(samples, `roads.${e}`)));
  await choose(choice);
  const r = await run();
  check(r.state === "done", "roads converts with yyyymmdd and UTF-8");
  const out = path.join(nativeOut, "utf8");
  native(choice, ["roads.shp"], samples, out);
  for (const e of ["mif", "mid"]) {
    const got = await clickDownload(`a.download[download="roads.${e}"]`, `roads.${e}`);
    same(got, path.join(out, `roads.${e}`), `roads.${e} (UTF-8, yyyymmdd)`);
  }
}

// 3. The 200,000 polygons, with screenshots before, during and after.
let timing = null;
{
  const choice = { coordsys: 11, dateFormat: "yyyy/mm/dd", charset: "cp932" };
  await load(["shp", "dbf", "shx"].map((e) => path.join(benchDir, `bench.${e}`)));
  await choose(choice);
  await screenshot("before");
  await page.evaluate(() => delete document.body.dataset.lastRun);
  const start = Date.now();
  await page.click("#btnConvert");
  await page.waitForFunction(() => document.querySelector("#prgConvert").value >= 400, { timeout: 600000, polling: 20 });
  await screenshot("during");
  await page.waitForSelector("body[data-last-run]", { timeout: 600000, polling: 50 });
  const pageMs = Date.now() - start;
  await screenshot("after");
  const out = path.join(nativeOut, "bench");
  const n = native(choice, ["bench.shp"], benchDir, out);
  timing = { pageMs, nativeMs: n.ms };
  for (const e of ["mif", "mid"]) {
    const got = await clickDownload(`a.download[download="bench.${e}"]`, `bench.${e}`);
    same(got, path.join(out, `bench.${e}`), `bench.${e} (200,000 polygons)`);
  }
  console.log(`time for 200,000 polygons: page ${(pageMs / 1000).toFixed(2)} s, native ${(n.ms / 1000).toFixed(2)} s (--threads 1)`);
}

// 4. A cancel part way leaves nothing: no link, no download, the log says so.
{
  const before = fs.readdirSync(downloads).length;
  await page.evaluate(() => delete document.body.dataset.lastRun);
  await page.click("#btnConvert");
  await page.waitForFunction(() => document.querySelector("#prgConvert").value >= 200, { timeout: 600000, polling: 20 });
  await page.click("#btnCancel");
  await page.waitForSelector("body[data-last-run]", { timeout: 60000 });
  const state = await page.$eval("body", (b) => b.dataset.lastRun);
  const links = await page.$$eval("#lstResults a", (a) => a.length);
  const log = await page.$eval("#lstLog", (e) => e.innerText);
  await sleep(1500);
  check(state === "cancelled" && links === 0, "a cancelled run offers nothing to save");
  check(fs.readdirSync(downloads).length === before, "a cancelled run downloads nothing");
  check(log.includes("変換を中止しました。"), "a cancelled run says so");
  // The worker that was ended is replaced: the next run works.
  await page.waitForFunction(() => !document.querySelector("#btnConvert").disabled, { timeout: 30000 });
}

// 5. A broken file shows the reason the command gives.
{
  const choice = { coordsys: 0, dateFormat: "yyyy/mm/dd", charset: "cp932" };
  await load(["broken.shp", "broken.dbf"].map((f) => path.join(brokenDir, f)));
  await choose(choice);
  const r = await run();
  const log = await page.$eval("#lstLog", (e) => e.innerText);
  const n = native(choice, ["broken.shp"], brokenDir, path.join(nativeOut, "broken"));
  const reasons = n.stderr.split("\n").filter((l) => l.trim());
  check(r.state === "done" && n.failed && reasons.length > 0, "the broken file fails in both");
  for (const line of reasons) check(log.includes(line), `the page shows "${line}"`);
  check((await page.$$eval("#lstResults a", (a) => a.length)) === 0, "a failed conversion offers nothing to save");
}

// 6. An archive with two shapefiles in a sub-folder: both listed and described, converted to
// the pairs `plexor convert` writes beside the archive under the members' own names.
{
  const choice = { coordsys: 9, dateFormat: "yyyy/mm/dd", charset: "cp932" };
  await load([path.join(zipDir, "town.zip")], 2);
  const rows = await page.$$eval("#lvwFiles tbody tr", (trs) => trs.map((tr) => tr.innerText));
  check(rows[0].startsWith("town.zip/町/roads.shp") && rows[1].startsWith("town.zip/町/stations.shp"), "the archive's shapefiles are listed by their paths through it");
  check(rows[0].includes("PolyLine、レコード 3 件") && rows[1].includes("Point、レコード 7 件") && rows.every((r) => r.includes("CP932（言語ドライバー）")), "each member is described as plexor info describes it");
  await choose(choice);
  const r = await run();
  check(r.state === "done", "the archive's shapefiles convert");
  const zip = await clickDownload("#lnkZip", "plexor-mif.zip");
  const unpacked = path.join(work, "check/unzipped-town");
  fs.rmSync(unpacked, { recursive: true, force: true });
  execFileSync("python3", ["-c", "import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None; z.extractall(sys.argv[2])", zip, unpacked]);
  const out = path.join(nativeOut, "town");
  const n = native(choice, ["town.zip"], zipDir, out);
  check(!n.failed, "plexor convert takes the same archive");
  check(fs.readdirSync(unpacked).sort().join(" ") === "roads.mid roads.mif stations.mid stations.mif", "the pairs are named as plexor convert names them");
  for (const m of ["roads", "stations"]) for (const e of ["mif", "mid"]) same(path.join(unpacked, `${m}.${e}`), path.join(out, `${m}.${e}`), `town.zip: ${m}.${e}`);
}

// 7. Refused archives: one cut short, one with a member climbing out of it beside one that is
// fine. The page gives the core's reasons, as the command prints them, and converts the rest.
{
  const choice = { coordsys: 0, dateFormat: "yyyy/mm/dd", charset: "cp932" };
  await load(["cut.shz", "mixed.shp.zip"].map((f) => path.join(zipDir, f)), 2);
  const text = await page.$eval("#lvwFiles", (e) => e.closest("body").innerText);
  const n = native(choice, ["cut.shz", "mixed.shp.zip"], zipDir, path.join(nativeOut, "refused"));
  const reasons = n.stderr.split("\n").filter((l) => l.startsWith("エラー: "));
  check(n.failed && reasons.length === 2, "plexor convert refuses the cut archive and the climbing member");
  for (const line of reasons) check(text.includes(line) || text.includes(line.slice("エラー: ".length)), `the page shows "${line}"`);
  await choose(choice);
  const r = await run();
  check(r.state === "done", "the member that is fine converts");
  for (const e of ["mif", "mid"]) {
    const got = await clickDownload(`a.download[download="parcels.${e}"]`, `parcels.${e}`);
    same(got, path.join(nativeOut, "refused", `parcels.${e}`), `mixed.shp.zip: parcels.${e}`);
  }
}

const external = requests.filter((u) => !/^(file|blob|data):/.test(u));
check(external.length === 0, `the page requested nothing but its own file and blobs (${requests.length} in all: ${[...new Set(requests.map((u) => u.split(":")[0]))].join(", ")})`);
// Chromium itself asks its vendor's services (network time, updates, accounts) whatever page
// is open; those are not the page's. Anything else through the proxy is.
const browserOwn = /^(GET|POST|CONNECT) (https?:\/\/)?[a-z0-9.-]*\.(google\.com|googleapis\.com|gvt1\.com|gstatic\.com)[:/]/;
const fromPage = proxyHits.filter((h) => !browserOwn.test(h));
check(fromPage.length === 0, `no other connection left the browser (${proxyHits.length - fromPage.length} of Chromium's own to its vendor's services)${fromPage.length ? ": " + fromPage.join("; ") : ""}`);

await browser.close();
proxy.close();
const size = fs.statSync(pagePath).size;
console.log(`page: ${pagePath} ${(size / 1024).toFixed(0)} KiB`);
if (timing) fs.writeFileSync(path.join(work, "check/timing.json"), JSON.stringify({ ...timing, pageBytes: size }));
console.log(`${passes} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
