// Puts the page together: plexor.html with its style, its scripts, the worker's script and
// the WebAssembly core inside it, so that the one file works from a disk or a USB stick.
// node web/tools/assemble.mjs CORE.js CORE.wasm OUT.html
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";

const web = path.join(path.dirname(fileURLToPath(import.meta.url)), "..");
const [coreJs, coreWasm, out] = process.argv.slice(2);
if (!out) {
  console.error("usage: assemble.mjs CORE.js CORE.wasm OUT.html");
  process.exit(2);
}
const read = (p) => fs.readFileSync(p, "utf8");

// Text inside a <script> element must not close it early.
const scriptSafe = (text, what) => {
  if (/<\/script/i.test(text)) throw new Error(`${what} holds "</script"`);
  return text;
};
const literal = (text) => JSON.stringify(text).replace(/<\//g, "<\\/").replace(/\u2028/g, "\\u2028").replace(/\u2029/g, "\\u2029");

const workerSource = read(coreJs) + "\n" + read(path.join(web, "js/worker.js"));
const embedded =
  `const PLEXOR_WORKER_SOURCE = ${literal(workerSource)};\n` +
  `const PLEXOR_WASM_BASE64 = "${fs.readFileSync(coreWasm).toString("base64")}";`;

let html = read(path.join(web, "plexor.html"));
const put = (marker, text) => {
  const at = html.indexOf(marker);
  if (at < 0) throw new Error(`plexor.html lacks ${marker}`);
  html = html.slice(0, at) + text + html.slice(at + marker.length);
};
put("/*@PLEXOR_CSS@*/", read(path.join(web, "plexor.css")));
put("/*@PLEXOR_EMBEDDED@*/", embedded);
put("/*@PLEXOR_LOGIC@*/", scriptSafe(read(path.join(web, "js/logic.js")), "logic.js"));
put("/*@PLEXOR_APP@*/", scriptSafe(read(path.join(web, "js/app.js")), "app.js"));
fs.writeFileSync(out, html);
