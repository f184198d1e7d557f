// The page: what the user drops or picks, the list with what `info` says, the choices, and
// the runs in the worker. Nothing here sends anything anywhere: the worker is made from
// text embedded in this file, and the results leave only as downloads or as files written
// into a folder the user picked.
"use strict";

(() => {
  const L = PlexorLogic;
  const $ = (id) => document.getElementById(id);

  const state = {
    entries: [], // { path, file } as dropped or picked
    shapefiles: [], // from L.pairShapefiles, each with .info and .choice
    notes: [],
    coordsys: [],
    running: false,
    results: [], // { name, blob } of the last run
  };

  // ---- The worker ----

  let worker = null;
  let workerReady = null;
  let wasmBytes = null;
  const pending = new Map(); // key -> resolve, for info and convert answers
  let onSinkEvent = null;
  let onProgress = null;

  function decodeBase64(text) {
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  function startWorker() {
    if (!wasmBytes) wasmBytes = decodeBase64(PLEXOR_WASM_BASE64);
    const url = URL.createObjectURL(new Blob([PLEXOR_WORKER_SOURCE], { type: "text/javascript" }));
    worker = new Worker(url);
    URL.revokeObjectURL(url);
    workerReady = new Promise((resolve, reject) => {
      worker.onmessage = (e) => {
        const m = e.data;
        if (m.type === "ready") {
          state.coordsys = m.coordsys;
          resolve();
        } else if (m.type === "info") {
          settle(`info:${m.key}`, m);
        } else if (m.type === "listed") {
          settle(`list:${m.key}`, m);
        } else if (m.type === "converted") {
          settle(`job:${m.job}`, m);
        } else if (m.type === "crashed") {
          settle(m.job ? `job:${m.job}` : `${m.asked === "list" ? "list" : "info"}:${m.key}`, m);
          restartWorker();
        } else if (m.type === "progress") {
          if (onProgress) onProgress(m);
        } else if (m.type === "log") {
          console.log(m.text);
        } else if (onSinkEvent) {
          onSinkEvent(m);
        }
      };
      worker.onerror = (e) => {
        reject(new Error(e.message || "worker"));
        for (const key of [...pending.keys()]) settle(key, { type: "crashed", reason: e.message || "" });
        restartWorker();
      };
    });
    const copy = wasmBytes.slice().buffer;
    worker.postMessage({ type: "init", wasm: copy }, [copy]);
    return workerReady;
  }

  function settle(key, message) {
    const resolve = pending.get(key);
    if (!resolve) return;
    pending.delete(key);
    resolve(message);
  }

  function restartWorker() {
    if (worker) worker.terminate();
    worker = null;
    return startWorker();
  }

  function ask(key, message) {
    return new Promise((resolve) => {
      pending.set(key, resolve);
      worker.postMessage(message);
    });
  }

  function filesFor(shapefile) {
    return L.mountNames(shapefile).map((m) => ({ name: m.name, file: m.entry.file }));
  }

  // ---- Input ----

  // What the core listed in each archive given so far, by the archive's path.
  const archives = new Map();

  // The rows: the loose shapefiles and those of the archives listed so far, each kept with
  // what was learnt of it already.
  function arrange(shapefiles, zips, notes) {
    const known = new Map(state.shapefiles.map((s) => [s.display, s]));
    const all = [...shapefiles];
    state.notes = notes.slice();
    for (const z of zips) {
      const listed = archives.get(z.path);
      if (!listed) continue;
      all.push(...listed.shapefiles);
      state.notes.push(...listed.notes);
    }
    all.sort((a, b) => (a.display < b.display ? -1 : a.display > b.display ? 1 : 0));
    state.shapefiles = L.refuseClashes(all.map((s) => known.get(s.display) || s));
  }

  async function addEntries(entries) {
    if (state.running) return;
    state.entries.push(...entries);
    const { shapefiles, zips, notes } = L.pairShapefiles(state.entries);
    arrange(shapefiles, zips, notes);
    renderList();
    await workerReady;
    for (const z of zips) {
      if (archives.has(z.path)) continue;
      const name = L.splitPath(z.path).name;
      const answer = await ask(`list:${z.path}`, { type: "list", key: z.path, name, file: z.file });
      const listing = answer.type === "crashed" ? { error: `${z.path}: 読み取れませんでした (${answer.reason})。` } : answer.listing;
      archives.set(z.path, L.archiveShapefiles(z, listing, answer.dir || "/"));
    }
    arrange(shapefiles, zips, notes);
    renderList();
    for (const s of state.shapefiles) {
      if (s.info || s.infoAsked) continue;
      s.infoAsked = true;
      const reason = L.refusal(s);
      if (reason) {
        s.refused = reason;
        renderList();
        continue;
      }
      const answer = await ask(`info:${s.display}`, { type: "info", key: s.display, files: filesFor(s), shp: L.workerShp(s) });
      if (answer.type === "crashed") {
        s.refused = `${s.display}: 読み取れませんでした (${answer.reason})。`;
      } else {
        s.info = answer.info;
        const entry = L.coordsysFromInfo(s.info);
        if (entry >= 0 && s.choice === undefined) s.choice = entry;
      }
      renderList();
    }
  }

  // A dropped folder is walked through the entries API; files keep their path below it.
  async function entriesFromDrop(dataTransfer) {
    const items = [...dataTransfer.items].map((i) => (i.webkitGetAsEntry ? i.webkitGetAsEntry() : null));
    if (items.every((i) => !i)) return [...dataTransfer.files].map((f) => ({ path: f.name, file: f }));
    const out = [];
    const walk = async (entry, prefix) => {
      if (!entry) return;
      if (entry.isFile) {
        const file = await new Promise((res, rej) => entry.file(res, rej));
        out.push({ path: prefix + entry.name, file });
      } else if (entry.isDirectory) {
        const reader = entry.createReader();
        for (;;) {
          const batch = await new Promise((res, rej) => reader.readEntries(res, rej));
          if (!batch.length) break;
          for (const child of batch) await walk(child, `${prefix}${entry.name}/`);
        }
      }
    };
    for (const item of items) await walk(item, "");
    return out;
  }

  function entriesFromInput(input) {
    return [...input.files].map((f) => ({ path: f.webkitRelativePath || f.name, file: f }));
  }

  // ---- Drawing ----

  function el(tag, props, ...children) {
    const node = document.createElement(tag);
    Object.assign(node, props || {});
    for (const c of children) if (c !== null && c !== undefined) node.append(c);
    return node;
  }

  function coordsysSelect(shapefile) {
    const select = el("select", { className: "coordsys" });
    select.append(el("option", { value: "-1", textContent: "（下の一覧で選んだ投影法）" }));
    state.coordsys.forEach((text, i) => select.append(el("option", { value: String(i), textContent: `${i} ${text}` })));
    select.value = String(shapefile.choice === undefined ? -1 : shapefile.choice);
    select.onchange = () => {
      shapefile.choice = Number(select.value);
    };
    return select;
  }

  function describe(shapefile) {
    const refused = shapefile.refused || shapefile.clash;
    if (refused) return el("div", { className: "problem", textContent: refused });
    const info = shapefile.info;
    if (!info) return el("div", { className: "meta", textContent: "読み取っています…" });
    const box = el("div");
    const types = Object.entries(info.recordsByType).map(([t, n]) => `${t} ${n}`).join("、") || "なし";
    box.append(el("div", { textContent: `${info.shapeType}、レコード ${info.records} 件（${types}）` }));
    const table = info.tableRecords === null ? "読めません" : `${info.tableRecords} 件${info.deletedRecords ? `（削除済み ${info.deletedRecords}）` : ""}`;
    const enc = info.encoding ? `${info.encoding.name}（${info.encoding.decidedBy}）` : "不明";
    box.append(el("div", { className: "meta", textContent: `属性 ${table}、文字コード ${enc}` }));
    if (info.fields.length) {
      const fields = info.fields.map((f) => `${f.name} ${f.mifColumn || "（出力しない）"}`).join("、");
      box.append(el("div", { className: "fields", textContent: `フィールド: ${fields}` }));
    }
    if (info.prj) {
      const text = info.prj.found ? `.prj: ${info.prj.description} → ${info.prj.entry} ${state.coordsys[info.prj.entry] || ""}` : `.prj: ${info.prj.reason}`;
      box.append(el("div", { className: "prjnote", textContent: text }));
    } else {
      box.append(el("div", { className: "prjnote", textContent: ".prj: なし" }));
    }
    for (const p of info.problems) box.append(el("div", { className: "problem", textContent: `問題: ${p}` }));
    return box;
  }

  function renderList() {
    const body = $("lvwFiles").tBodies[0];
    body.replaceChildren();
    for (const s of state.shapefiles) {
      body.append(el("tr", {}, el("td", { className: "file", textContent: s.display }), el("td", {}, describe(s)), el("td", {}, coordsysSelect(s))));
    }
    $("lblEmpty").hidden = state.shapefiles.length > 0;
    $("lstNotes").replaceChildren(...state.notes.map((n) => el("div", { textContent: n })));
    updateButtons();
  }

  function updateButtons() {
    $("btnConvert").disabled = state.running || !state.shapefiles.some((s) => s.info && !s.refused && !s.clash);
    $("btnCancel").disabled = !state.running;
    for (const id of ["inpFiles", "inpFolder", "btnClear"]) $(id).disabled = state.running;
  }

  function log(kind, text) {
    const cls = kind === "警告" ? "warn" : kind === "エラー" ? "error" : "";
    $("lstLog").append(el("span", { className: cls, textContent: (kind ? `${kind}: ` : "") + text + "\n" }));
  }

  function setStatus(text) {
    $("StatusBar1").textContent = text;
  }

  // ---- Outputs ----
  // Each output arrives in pieces while it is written; it is real only once the core has
  // published it (renamed its temporary over the target), and dropped if it never is.

  class OutputCollector {
    constructor(folder) {
      this.folder = folder; // a directory handle, or null for downloads
      this.files = new Map(); // id -> { parts, crc, size, writable, chain, name }
      this.expected = []; // [{ prefix, name }] of the job running now
      this.published = []; // { name, blob?, size, crc }
      this.failed = null;
    }
    expect(names) {
      this.expected = names.map((name) => ({ prefix: `.${L.splitPath(name).name}.`, name }));
    }
    handle(m) {
      if (m.type === "open") {
        const tempName = L.splitPath(m.path).name;
        const match = this.expected.find((e) => tempName.startsWith(e.prefix));
        const f = { parts: [], crc: 0, size: 0, writable: null, chain: Promise.resolve(), name: match ? match.name : null };
        this.files.set(m.id, f);
        if (this.folder && f.name) f.chain = this.openWritable(f);
      } else if (m.type === "data") {
        const f = this.files.get(m.id);
        if (!f) return;
        f.crc = L.crc32Update(f.crc, m.bytes);
        f.size += m.bytes.length;
        if (f.writable || (this.folder && f.name)) {
          const bytes = m.bytes;
          f.chain = f.chain.then(() => f.writable && f.writable.write(bytes));
        } else {
          f.parts.push(new Blob([m.bytes]));
        }
      } else if (m.type === "rename") {
        const f = this.files.get(m.id);
        if (!f) return;
        if (!f.name) f.name = this.nameFromPath(m.path);
        if (this.folder && !f.writable) {
          const parts = f.parts;
          f.parts = [];
          f.chain = f.chain.then(() => this.openWritable(f)).then(() => f.writable.write(new Blob(parts)));
        }
        if (this.folder) {
          f.chain = f.chain.then(() => f.writable.close());
          this.published.push({ name: f.name, size: f.size, crc: f.crc, done: f.chain });
        } else {
          this.published.push({ name: f.name, size: f.size, crc: f.crc, blob: new Blob(f.parts) });
        }
        this.files.delete(m.id);
      } else if (m.type === "discard") {
        this.drop(m.id);
      }
      // Folder writes that fail are reported once the run ends.
      for (const f of this.files.values()) f.chain = f.chain.catch((e) => this.fail(e));
    }
    nameFromPath(path) {
      const name = L.splitPath(path).name;
      const match = this.expected.find((e) => L.splitPath(e.name).name === name);
      return match ? match.name : name;
    }
    fail(e) {
      this.failed = this.failed || e;
    }
    async openWritable(f) {
      const parts = f.name.split("/");
      let dir = this.folder;
      for (const part of parts.slice(0, -1)) dir = await dir.getDirectoryHandle(part, { create: true });
      const handle = await dir.getFileHandle(parts[parts.length - 1], { create: true });
      f.writable = await handle.createWritable();
    }
    drop(id) {
      const f = this.files.get(id);
      if (!f) return;
      this.files.delete(id);
      f.parts = [];
      // The browser keeps a written file aside until it is closed: aborting leaves nothing.
      f.chain = f.chain.then(() => f.writable && f.writable.abort()).catch(() => {});
    }
    // Everything not published is dropped (a cancel, a failure, a crashed worker).
    dropAll() {
      for (const id of [...this.files.keys()]) this.drop(id);
    }
    async settle() {
      for (const p of this.published) if (p.done) await p.done.catch((e) => this.fail(e));
    }
  }

  function downloadLink(name, blob) {
    const a = el("a", { href: URL.createObjectURL(blob), download: L.splitPath(name).name, textContent: `${name} を保存` });
    a.className = "download";
    return a;
  }

  function showResults(collector, folderName) {
    const box = $("lstResults");
    box.replaceChildren();
    if (!collector.published.length) return;
    if (collector.folder) {
      box.append(el("p", { textContent: `${folderName} に ${collector.published.length} 個のファイルを書き込みました。` }));
      return;
    }
    const files = collector.published;
    if (files.length > 2) {
      const parts = L.storedZipParts(files.map((f) => ({ name: f.name, size: f.size, crc: f.crc, data: f.blob })), new Date());
      const zip = new Blob(parts, { type: "application/zip" });
      const a = downloadLink("plexor-mif.zip", zip);
      a.id = "lnkZip";
      a.textContent = `すべて（${files.length / 2} 組）を zip で保存`;
      box.append(el("p", {}, a));
    }
    const list = el("p");
    for (const f of files) list.append(downloadLink(f.name, f.blob));
    box.append(list);
    state.results = files;
  }

  // ---- The run ----

  let cancelRun = null;

  async function convertAll() {
    const fallback = $("lstCoordSys").selectedIndex;
    const chosen = state.shapefiles.filter((s) => s.info && !s.refused && !s.clash);
    if (chosen.some((s) => (s.choice === undefined || s.choice < 0) && fallback < 0)) {
      alert("MIFに記述する投影法を選択してください。");
      return;
    }
    const dateFormat = document.querySelector("input[name=dateFormat]:checked").value;
    const charset = document.querySelector("input[name=charset]:checked").value;
    let folder = null;
    const toFolder = document.querySelector("input[name=saveMode]:checked").value === "folder";
    const tooBig = toFolder ? "" : L.downloadRefusal(chosen, !!window.showDirectoryPicker);
    if (tooBig) {
      log("エラー", tooBig);
      setStatus(tooBig);
      return;
    }
    if (toFolder) {
      try {
        folder = await window.showDirectoryPicker({ mode: "readwrite" });
      } catch (e) {
        return; // the user closed the picker
      }
    }
    state.running = true;
    updateButtons();
    $("lstLog").replaceChildren();
    $("lstResults").replaceChildren();
    const collector = new OutputCollector(folder);
    onSinkEvent = (m) => collector.handle(m);
    const several = chosen.length > 1;
    let cancelled = false;
    let converted = 0;
    const started = performance.now();
    try {
      for (let i = 0; i < chosen.length && !cancelled; i++) {
        const s = chosen[i];
        const options = L.convertOptions({ coordsys: s.choice >= 0 ? s.choice : fallback, dateFormat, charset });
        const names = L.outputNames(s);
        collector.expect([names.mif, names.mid]);
        setStatus(`${s.display}を変換しています。${several ? ` (${i + 1}/${chosen.length})` : ""}`);
        $("prgConvert").value = 0;
        const job = ++jobCounter;
        onProgress = (m) => {
          if (m.job === job && m.total > 0) $("prgConvert").value = Math.round((m.done * 1000) / m.total);
        };
        const answer = await Promise.race([
          ask(`job:${job}`, { type: "convert", job, files: filesFor(s), shp: L.workerShp(s), mif: L.splitPath(names.mif).name, options }),
          new Promise((resolve) => {
            cancelRun = () => resolve({ type: "cancelled" });
          }),
        ]);
        if (answer.type === "cancelled") {
          pending.clear();
          cancelled = true;
          break;
        }
        if (answer.type === "crashed") {
          collector.dropAll();
          log("エラー", `${s.display}: 変換中にブラウザーのメモリーが足りなくなったか、内部のエラーで止まりました (${answer.reason})。`);
          continue;
        }
        const result = answer.result;
        const lines = L.resultLines(s.display, result, several);
        for (const line of lines) log(line.kind, L.withDisplayPaths(line.text, answer.dir, s.display, s));
        if (result.ok) converted++;
        else collector.dropAll();
        $("prgConvert").value = 1000;
      }
    } finally {
      onProgress = null;
      cancelRun = null;
    }
    if (cancelled) {
      collector.dropAll();
      collector.published = [];
      onSinkEvent = null;
      restartWorker();
      log("警告", "変換を中止しました。このときの変換の出力は何も保存していません。");
      setStatus("変換を中止しました。");
      $("prgConvert").value = 0;
    } else {
      await collector.settle();
      onSinkEvent = null;
      if (collector.failed) log("エラー", `保存先に書き込めませんでした: ${collector.failed.message || collector.failed}`);
      if (several) log("", `${chosen.length} 件中 ${converted} 件を変換しました。`);
      const seconds = ((performance.now() - started) / 1000).toFixed(2);
      setStatus(`変換が終わりました（${seconds} 秒）。`);
      showResults(collector, folder ? folder.name : "");
    }
    document.body.dataset.lastRun = cancelled ? "cancelled" : "done";
    state.running = false;
    updateButtons();
  }

  let jobCounter = 0;

  function cancel() {
    if (!state.running || !cancelRun) return;
    // A worker busy in the core takes no message; ending it stops the conversion at once,
    // and what it had written goes with it.
    if (worker) worker.terminate();
    worker = null;
    cancelRun();
  }

  // ---- Wiring ----

  function init() {
    if (!window.showDirectoryPicker) {
      $("lblSaveFolder").hidden = true;
    }
    $("inpFiles").onchange = (e) => {
      addEntries(entriesFromInput(e.target));
      e.target.value = "";
    };
    $("inpFolder").onchange = (e) => {
      addEntries(entriesFromInput(e.target));
      e.target.value = "";
    };
    const zone = $("dropZone");
    zone.ondragover = (e) => {
      e.preventDefault();
      zone.classList.add("over");
    };
    zone.ondragleave = () => zone.classList.remove("over");
    zone.ondrop = async (e) => {
      e.preventDefault();
      zone.classList.remove("over");
      addEntries(await entriesFromDrop(e.dataTransfer));
    };
    // A file dropped beside the zone would otherwise be opened by the browser.
    window.addEventListener("dragover", (e) => e.preventDefault());
    window.addEventListener("drop", (e) => e.preventDefault());
    $("btnClear").onclick = () => {
      state.entries = [];
      archives.clear();
      state.shapefiles = [];
      state.notes = [];
      $("lstResults").replaceChildren();
      $("lstLog").replaceChildren();
      renderList();
    };
    $("btnConvert").onclick = () => convertAll();
    $("btnCancel").onclick = () => cancel();
    startWorker().then(
      () => {
        const list = $("lstCoordSys");
        state.coordsys.forEach((text, i) => list.append(el("option", { value: String(i), textContent: text })));
        renderList();
        document.body.dataset.ready = "1";
      },
      (e) => setStatus(`変換の準備ができませんでした: ${e.message}`),
    );
    renderList();
  }

  init();
})();
