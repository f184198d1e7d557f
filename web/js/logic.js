// The page's own decisions, with no browser object in them: pairing the files the user gave
// by base name, the names of the outputs, the choices as the core and the command line take
// them, and a zip of stored (uncompressed) members for downloading several pairs at once.
// Loaded by the page as a plain script and by the tests through require().
"use strict";

const PlexorLogic = (() => {
  // The files that make up one shapefile. The .shx is not read by the converter but travels
  // with the others so that `info` sees the same folder as the command does.
  const kCompanions = ["shp", "shx", "dbf", "cpg", "prj"];

  // The core reads the user's files where they lie, a piece at a time, and its memory stays
  // small whatever their size; reads past 4 GiB were checked. Larger than this is refused
  // rather than tried: nobody has run it.
  const kMaxInputBytes = 64 * 1024 ** 3;
  // A download is assembled by the browser from the pieces as they come, in its memory
  // first: an output about twice the input took 2.1 GB more in Chromium for 1.4 GB read.
  // Beyond this the page asks for a folder to write into instead.
  const kMaxDownloadInputBytes = 2 * 1024 ** 3;
  // The .prj and .cpg are read whole: a real one is well under a kilobyte.
  const kMaxSmallCompanionBytes = 64 * 1024;

  function splitPath(path) {
    const clean = String(path).replace(/\\/g, "/").replace(/^\/+/, "");
    const slash = clean.lastIndexOf("/");
    return { dir: slash >= 0 ? clean.slice(0, slash + 1) : "", name: clean.slice(slash + 1) };
  }

  function splitExtension(name) {
    const dot = name.lastIndexOf(".");
    if (dot <= 0) return { base: name, ext: "" };
    return { base: name.slice(0, dot), ext: name.slice(dot + 1).toLowerCase() };
  }

  function isZipName(name) {
    const lower = name.toLowerCase();
    return lower.endsWith(".zip") || lower.endsWith(".shz");
  }

  // entries: [{ path, file }] with path relative to what the user dropped ("a/roads.shp").
  // Returns the shapefiles (one per .shp, its companions found in the same folder by base
  // name in any letter case), the zip archives, and notes on what was left out and why.
  function pairShapefiles(entries) {
    const groups = new Map();
    const zips = [];
    const notes = [];
    const sorted = [...entries].sort((a, b) => compareText(a.path, b.path));
    for (const entry of sorted) {
      const { dir, name } = splitPath(entry.path);
      if (isZipName(name)) {
        zips.push(entry);
        continue;
      }
      const { base, ext } = splitExtension(name);
      if (!kCompanions.includes(ext)) continue;
      const key = dir.toLowerCase() + "\u0000" + base.toLowerCase();
      if (!groups.has(key)) groups.set(key, { dir, files: {} });
      const group = groups.get(key);
      if (group.files[ext]) {
        notes.push(`${dir}${name}: ${group.files[ext].path} と名前が大文字・小文字だけ違うため使いません。`);
        continue;
      }
      group.files[ext] = entry;
    }
    const shapefiles = [];
    for (const group of groups.values()) {
      const shp = group.files.shp;
      if (!shp) {
        const any = Object.values(group.files)[0];
        const { base } = splitExtension(splitPath(any.path).name);
        notes.push(`${group.dir}${base}: .shp がないため変換できません。`);
        continue;
      }
      const { base } = splitExtension(splitPath(shp.path).name);
      shapefiles.push({
        dir: group.dir,
        base,
        display: group.dir + splitPath(shp.path).name,
        files: group.files,
        missingDbf: !group.files.dbf,
      });
    }
    shapefiles.sort((a, b) => compareText(a.display, b.display));
    return { shapefiles, zips, notes };
  }

  // Code-unit order, as the command line sorts byte strings of UTF-8 for ASCII and kana.
  function compareText(a, b) {
    return a < b ? -1 : a > b ? 1 : 0;
  }

  // The names the files take inside the worker: the .shp's own base name for all of them,
  // with the extensions in lower case, so the core finds the companions however they were
  // spelt.
  function mountNames(shapefile) {
    if (shapefile.archive) return [{ name: splitPath(shapefile.archive.path).name, entry: shapefile.archive, ext: "zip" }];
    const names = [];
    for (const ext of kCompanions) {
      const entry = shapefile.files[ext];
      if (entry) names.push({ name: `${shapefile.base}.${ext}`, entry, ext });
    }
    return names;
  }

  // The .shp as the worker names it inside its mount: a member through its archive.
  function workerShp(shapefile) {
    return shapefile.archive ? `${splitPath(shapefile.archive.path).name}/${shapefile.member}` : `${shapefile.base}.shp`;
  }

  // The shapefiles the core listed in an archive (the worker's answer, mounted at mountDir),
  // as rows like those of loose files: named through the archive as the command names them,
  // written beside the archive under the member's own name, its folders playing no part.
  // A refused member keeps its row with the core's reason; an archive that cannot be read,
  // or holds no shapefile, becomes a note.
  function archiveShapefiles(zip, listing, mountDir) {
    const { dir } = splitPath(zip.path);
    const local = (text) => displayPaths(text, mountDir, dir);
    if (listing.error) return { shapefiles: [], notes: [`エラー: ${local(listing.error)}`] };
    if (!listing.items.length) return { shapefiles: [], notes: [`エラー: ${zip.path}: シェープファイルがありません。`] };
    const shapefiles = listing.items.map((item) => {
      const { name } = splitPath(item.member);
      return {
        dir,
        base: splitExtension(name).base,
        display: `${zip.path}/${item.member}`,
        files: {},
        archive: zip,
        member: item.member,
        inputBytes: item.bytes,
        listRefusal: item.refusal ? local(item.refusal) : "",
      };
    });
    return { shapefiles, notes: [] };
  }

  // The mount's paths in a text put back as the user's: "/in/3/town.zip" -> "data/town.zip".
  function displayPaths(text, mountDir, userDir) {
    const dir = mountDir.endsWith("/") ? mountDir : mountDir + "/";
    return String(text).split(dir).join(userDir);
  }

  // Two shapefiles whose pairs would land on the same names (members of different folders of
  // an archive, or a member and a file beside the archive): the later is refused, as the
  // command refuses such a run before anything is written. Names that differ in letter case
  // alone clash too: the folder they are saved into may not tell them apart. The reason is
  // in .clash, found again whenever the rows change.
  function refuseClashes(shapefiles) {
    const seen = new Map();
    for (const s of shapefiles) {
      s.clash = "";
      if (s.listRefusal) continue;
      const mif = outputNames(s).mif;
      const key = mif.toLowerCase();
      const first = seen.get(key);
      if (first) s.clash = `${first.display} と ${s.display} は同じ ${mif} に出力されます。`;
      else seen.set(key, s);
    }
    return shapefiles;
  }

  // Where a shapefile's pair lands: beside it, as `plexor convert` writes it.
  function outputNames(shapefile) {
    return { mif: `${shapefile.dir}${shapefile.base}.mif`, mid: `${shapefile.dir}${shapefile.base}.mid` };
  }

  // Why a shapefile cannot be converted before anything runs; empty when it can.
  function refusal(shapefile) {
    if (shapefile.listRefusal) return shapefile.listRefusal;
    if (shapefile.archive) {
      const size = shapefile.archive.file.size;
      return size > kMaxInputBytes ? `${shapefile.display}: ZIP ファイルが大きすぎます (${formatBytes(size)}、上限 ${formatBytes(kMaxInputBytes)})。` : "";
    }
    if (shapefile.missingDbf) return `${shapefile.display}: 同じ名前の .dbf がありません。`;
    for (const ext of kCompanions) {
      const entry = shapefile.files[ext];
      if (!entry) continue;
      const size = entry.file.size;
      const limit = ext === "prj" || ext === "cpg" ? kMaxSmallCompanionBytes : kMaxInputBytes;
      if (size > limit) {
        return `${shapefile.display}: .${ext} が大きすぎます (${formatBytes(size)}、上限 ${formatBytes(limit)})。`;
      }
    }
    return "";
  }

  // Why a run cannot be saved by download; empty when it can.
  function downloadRefusal(shapefiles, canWriteFolder) {
    let total = 0;
    for (const s of shapefiles) {
      if (s.archive) total += s.inputBytes || 0;
      for (const ext of ["shp", "dbf"]) if (s.files[ext]) total += s.files[ext].file.size;
    }
    if (total <= kMaxDownloadInputBytes) return "";
    const why = `入力が ${formatBytes(total)} あり、ダウンロードで保存できる大きさ (${formatBytes(kMaxDownloadInputBytes)} まで) を超えています。`;
    return canWriteFolder ? `${why}「フォルダーに直接書き込む」を選んでください。` : `${why}Chrome か Edge で「フォルダーに直接書き込む」を使うか、plexor コマンドで変換してください。`;
  }

  function formatBytes(n) {
    if (n >= 1024 ** 3) return `${(n / 1024 ** 3).toFixed(1)} GiB`;
    if (n >= 1024 ** 2) return `${(n / 1024 ** 2).toFixed(1)} MiB`;
    if (n >= 1024) return `${(n / 1024).toFixed(1)} KiB`;
    return `${n} バイト`;
  }

  const kDateFormats = ["yyyy/mm/dd", "yyyymmdd"];
  const kCharsets = ["cp932", "utf-8"];

  // The user's choices as the core takes them, and as the same run on the command line.
  function convertOptions(choice) {
    const index = Number(choice.coordsys);
    if (!Number.isInteger(index) || index < 0 || index > 40) {
      throw new Error("MIFに記述する投影法を選択してください。");
    }
    const dateFormat = kDateFormats.includes(choice.dateFormat) ? choice.dateFormat : kDateFormats[0];
    const charset = kCharsets.includes(choice.charset) ? choice.charset : kCharsets[0];
    return {
      index,
      dateFormat,
      utf8: charset === "utf-8" ? 1 : 0,
      encoding: "",
      commandLine: ["--threads", "1", "--date-format", dateFormat, "--charset", charset, "convert", "-c", String(index)],
    };
  }

  // The entry the .prj names, when it names one of the 41.
  function coordsysFromInfo(info) {
    return info && info.prj && info.prj.found && Number.isInteger(info.prj.entry) ? info.prj.entry : -1;
  }

  // What `plexor convert` prints for one source, line by line with the kind of each:
  // the summary on stdout, then the warnings, the failure and the closing message.
  function resultLines(display, result, several) {
    const lines = [];
    if (result.error) {
      lines.push({ kind: "エラー", text: `Plexor Converter: ${several ? display + ": " : ""}${result.error}` });
      return lines;
    }
    let line = `${display}: ${result.objects} objects, ${result.midRows} MID rows`;
    if (result.skipped.length) line += "; passed over:" + result.skipped.map((s) => ` ${s.name} ${s.count}`).join("");
    if (result.deleted > 0) line += `; deleted ${result.deleted}`;
    if (result.fromZM > 0) line += `; from Z/M ${result.fromZM}`;
    if (result.encoding) line += `; ${result.encoding}`;
    if (result.warnings.length) line += `; warnings ${result.warnings.length}`;
    if (!result.ok) line += " (変換に失敗しました。)";
    for (const m of result.messages) lines.push({ kind: m.kind, text: m.text });
    lines.push({ kind: "", text: line });
    for (const w of result.warnings) lines.push({ kind: "警告", text: `${display}: ${w}` });
    if (!result.ok && result.failureReason) lines.push({ kind: "エラー", text: `${display}: ${result.failureReason}` });
    const prefix = several ? `${display}: ` : "";
    lines.push(
      result.ok ? { kind: "情報", text: `${prefix}変換に成功しました。` } : { kind: "エラー", text: `${prefix}変換に失敗しました。` },
    );
    return lines;
  }

  // Paths of the worker's own view put back as the user named the files.
  function withDisplayPaths(text, mountDir, display, shapefile) {
    const dir = mountDir.endsWith("/") ? mountDir : mountDir + "/";
    const shpPath = `${dir}${workerShp(shapefile)}`;
    return String(text).split(shpPath).join(display).split(dir).join(shapefile.dir);
  }

  // ---- CRC-32 (the zip one), fed in pieces as the bytes pass by ----

  const kCrcTable = (() => {
    const table = new Uint32Array(256);
    for (let n = 0; n < 256; n++) {
      let c = n;
      for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
      table[n] = c >>> 0;
    }
    return table;
  })();

  // Start with crc32Update(0, bytes); feed the previous result back for the next piece.
  function crc32Update(crc, bytes) {
    let c = (crc ^ 0xffffffff) >>> 0;
    for (let i = 0; i < bytes.length; i++) c = kCrcTable[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
  }

  // ---- A zip of stored members ----
  // The outputs are already on their way to the user as they are made; a zip of them only
  // puts headers around the bytes, so nothing is compressed and nothing is held twice.
  // Members or offsets past 4 GiB get zip64 records, as Info-ZIP and Windows read them.

  const kZip64 = 0xffffffff;

  function dosDateTime(date) {
    const year = Math.max(1980, date.getFullYear());
    return {
      time: (date.getHours() << 11) | (date.getMinutes() << 5) | (date.getSeconds() >> 1),
      day: ((year - 1980) << 9) | ((date.getMonth() + 1) << 5) | date.getDate(),
    };
  }

  class Bytes {
    constructor(size) {
      this.buffer = new Uint8Array(size);
      this.view = new DataView(this.buffer.buffer);
      this.at = 0;
    }
    u16(v) {
      this.view.setUint16(this.at, v, true);
      this.at += 2;
    }
    u32(v) {
      this.view.setUint32(this.at, v >>> 0, true);
      this.at += 4;
    }
    u64(v) {
      this.view.setUint32(this.at, v % 0x100000000, true);
      this.view.setUint32(this.at + 4, Math.floor(v / 0x100000000), true);
      this.at += 8;
    }
    bytes(b) {
      this.buffer.set(b, this.at);
      this.at += b.length;
    }
  }

  // members: [{ name, size, crc, data }] where data is whatever the caller assembles the
  // archive from (a Blob or a Uint8Array): it is placed in the parts list untouched.
  // Returns the parts of the archive in order (Uint8Array headers around each data).
  function storedZipParts(members, date) {
    const encoder = new TextEncoder();
    const { time, day } = dosDateTime(date || new Date());
    const parts = [];
    const central = [];
    let offset = 0;
    for (const m of members) {
      const name = encoder.encode(m.name);
      const big = m.size >= kZip64 || offset >= kZip64;
      const local = new Bytes(30 + name.length + (big ? 20 : 0));
      local.u32(0x04034b50);
      local.u16(big ? 45 : 20); // version needed
      local.u16(0x0800); // names are UTF-8
      local.u16(0); // stored
      local.u16(time);
      local.u16(day);
      local.u32(m.crc);
      local.u32(big ? kZip64 : m.size);
      local.u32(big ? kZip64 : m.size);
      local.u16(name.length);
      local.u16(big ? 20 : 0);
      local.bytes(name);
      if (big) {
        local.u16(0x0001);
        local.u16(16);
        local.u64(m.size);
        local.u64(m.size);
      }
      parts.push(local.buffer, m.data);
      central.push({ name, size: m.size, crc: m.crc, offset, big });
      offset += local.buffer.length + m.size;
    }
    const centralStart = offset;
    for (const c of central) {
      const extra = c.big ? 28 : 0;
      const h = new Bytes(46 + c.name.length + extra);
      h.u32(0x02014b50);
      h.u16(c.big ? 45 : 20); // made by: MS-DOS attributes, version
      h.u16(c.big ? 45 : 20);
      h.u16(0x0800);
      h.u16(0);
      h.u16(time);
      h.u16(day);
      h.u32(c.crc);
      h.u32(c.big ? kZip64 : c.size);
      h.u32(c.big ? kZip64 : c.size);
      h.u16(c.name.length);
      h.u16(extra);
      h.u16(0); // comment
      h.u16(0); // disk
      h.u16(0); // internal attributes
      h.u32(0); // external attributes
      h.u32(c.big ? kZip64 : c.offset);
      h.bytes(c.name);
      if (c.big) {
        h.u16(0x0001);
        h.u16(24);
        h.u64(c.size);
        h.u64(c.size);
        h.u64(c.offset);
      }
      parts.push(h.buffer);
      offset += h.buffer.length;
    }
    const centralSize = offset - centralStart;
    const needs64 = centralStart >= kZip64 || members.length >= 0xffff || central.some((c) => c.big);
    if (needs64) {
      const z = new Bytes(56 + 20);
      z.u32(0x06064b50);
      z.u64(44);
      z.u16(45);
      z.u16(45);
      z.u32(0);
      z.u32(0);
      z.u64(members.length);
      z.u64(members.length);
      z.u64(centralSize);
      z.u64(centralStart);
      z.u32(0x07064b50); // locator
      z.u32(0);
      z.u64(offset);
      z.u32(1);
      parts.push(z.buffer);
    }
    const end = new Bytes(22);
    end.u32(0x06054b50);
    end.u16(0);
    end.u16(0);
    end.u16(needs64 ? 0xffff : members.length);
    end.u16(needs64 ? 0xffff : members.length);
    end.u32(needs64 ? kZip64 : centralSize);
    end.u32(needs64 ? kZip64 : centralStart);
    end.u16(0);
    parts.push(end.buffer);
    return parts;
  }

  return {
    kMaxInputBytes,
    kMaxSmallCompanionBytes,
    kMaxDownloadInputBytes,
    downloadRefusal,
    pairShapefiles,
    mountNames,
    workerShp,
    archiveShapefiles,
    refuseClashes,
    outputNames,
    refusal,
    formatBytes,
    convertOptions,
    coordsysFromInfo,
    resultLines,
    withDisplayPaths,
    crc32Update,
    storedZipParts,
    splitPath,
  };
})();

if (typeof module !== "undefined" && module.exports) module.exports = PlexorLogic;
