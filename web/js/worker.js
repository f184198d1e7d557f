// The worker that runs the core. The page puts the core's generated script (which defines
// createPlexorCore) in front of this text and starts both from a Blob, so the worker needs
// no file of its own and no request. Every request mounts the user's files read-only under
// /in/N (the worker's view of them: nothing is copied), runs, and unmounts them again.
"use strict";

let core = null;
let WORKERFS = null;
let nextMount = 1;
let currentJob = 0;

function post(message, transfer) {
  self.postMessage(message, transfer || []);
}

// Called by the core at each thousandth of the .shp read.
self.plexorWebProgress = (done, total) => post({ type: "progress", job: currentJob, done, total });

function mount(files) {
  const dir = `/in/${nextMount++}`;
  core.FS.mkdir(dir);
  core.FS.mount(WORKERFS, { blobs: files.map((f) => ({ name: f.name, data: f.file })) }, dir);
  return dir;
}

function unmount(dir) {
  try {
    core.FS.unmount(dir);
    core.FS.rmdir(dir);
  } catch (e) {
    // a mount that failed half way has nothing left to release
  }
}

function removeTree(dir) {
  for (const name of core.FS.readdir(dir)) {
    if (name === "." || name === "..") continue;
    try {
      core.FS.unlink(`${dir}/${name}`);
    } catch (e) {
      // outputs were handed on already; an empty node left behind costs nothing
    }
  }
  core.FS.rmdir(dir);
}

async function init(message) {
  core = await createPlexorCore({
    wasmBinary: message.wasm,
    print: (text) => post({ type: "log", text }),
    printErr: (text) => post({ type: "log", text }),
  });
  WORKERFS = core.plexorWorkerFS();
  core.FS.mkdir("/in");
  core.FS.mkdir("/out");
  core.plexorInstallSink((event) => {
    event.job = currentJob;
    post(event, event.bytes ? [event.bytes.buffer] : []);
  });
  const coordsys = JSON.parse(core.ccall("plexor_web_coordsys", "string", [], []));
  post({ type: "ready", coordsys });
}

function info(message) {
  const dir = mount(message.files);
  try {
    const text = core.ccall("plexor_web_info", "string", ["string", "string"], [`${dir}/${message.shp}`, ""]);
    post({ type: "info", key: message.key, info: JSON.parse(text), dir });
  } finally {
    unmount(dir);
  }
}

// An archive is mounted as the one file it is; its members are read through it.
function list(message) {
  const dir = mount([{ name: message.name, file: message.file }]);
  try {
    const text = core.ccall("plexor_web_list", "string", ["string"], [`${dir}/${message.name}`]);
    post({ type: "listed", key: message.key, listing: JSON.parse(text), dir });
  } finally {
    unmount(dir);
  }
}

function convert(message) {
  currentJob = message.job;
  const dir = mount(message.files);
  const out = `/out/${message.job}`;
  core.FS.mkdir(out);
  try {
    const o = message.options;
    const text = core.ccall(
      "plexor_web_convert",
      "string",
      ["number", "string", "string", "string", "number", "string"],
      [o.index, `${dir}/${message.shp}`, `${out}/${message.mif}`, o.dateFormat, o.utf8, o.encoding],
    );
    post({ type: "converted", job: message.job, result: JSON.parse(text), source: `${dir}/${message.shp}`, dir, out });
  } finally {
    unmount(dir);
    removeTree(out);
  }
}

self.onmessage = async (e) => {
  const message = e.data;
  try {
    if (message.type === "init") await init(message);
    else if (message.type === "info") info(message);
    else if (message.type === "list") list(message);
    else if (message.type === "convert") convert(message);
  } catch (error) {
    // The core itself failed (out of memory, a trap): the page starts a new worker.
    post({ type: "crashed", job: message.job, key: message.key, asked: message.type, reason: String((error && error.message) || error) });
  }
};
