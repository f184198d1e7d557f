// Converts one large shapefile in headless Chromium through the download path and reports
// the time and the browser's peak memory (all its processes' resident sets, sampled), for
// the limits the README states.  node web/tools/measure-limit.mjs PAGE WORKDIR DIR/NAME.shp
import { execSync } from "node:child_process";
import { createRequire } from "node:module";
import fs from "node:fs";
import path from "node:path";

const [pagePath, work, shp] = process.argv.slice(2).map((p) => path.resolve(p));
const require = createRequire(path.join(work, "npm") + "/");
const puppeteer = require("puppeteer-core");
const browser = await puppeteer.launch({ executablePath: "/usr/bin/chromium", headless: true, args: ["--no-sandbox"] });
const pid = browser.process().pid;
const rss = () => {
  const rows = execSync("ps -eo pid=,ppid=,rss=").toString().trim().split("\n").map((l) => l.trim().split(/\s+/).map(Number));
  const tree = new Set([pid]);
  for (let grew = true; grew; ) {
    grew = false;
    for (const [p, pp] of rows) if (tree.has(pp) && !tree.has(p)) tree.add(p), (grew = true);
  }
  return rows.filter(([p]) => tree.has(p)).reduce((a, [, , r]) => a + r, 0) * 1024;

};
let peak = 0;
const timer = setInterval(() => { try { peak = Math.max(peak, rss()); } catch (e) {} }, 250);
const page = await browser.newPage();
page.on("pageerror", (e) => console.log("pageerror", e.message));
await page.goto("file://" + pagePath);
await page.waitForSelector("body[data-ready]");
const base = shp.slice(0, -4);
await (await page.$("#inpFiles")).uploadFile(`${base}.shp`, `${base}.dbf`);
await page.waitForFunction(() => document.querySelector("#lvwFiles tbody tr") && !document.querySelector("#lvwFiles").innerText.includes("読み取っています"), { timeout: 600000 });
await page.select("#lstCoordSys", "11");
const idle = rss();
const start = Date.now();
await page.click("#btnConvert");
await page.waitForSelector("body[data-last-run]", { timeout: 3600000, polling: 200 });
const ms = Date.now() - start;
const log = await page.$eval("#lstLog", (e) => e.innerText);
const links = await page.$$eval("#lstResults a", (as) => as.map((a) => a.textContent));
clearInterval(timer);
console.log(JSON.stringify({ input: fs.statSync(`${base}.shp`).size + fs.statSync(`${base}.dbf`).size, ms, idleRss: idle, peakRss: peak, log, links }, null, 1));
await browser.close();
