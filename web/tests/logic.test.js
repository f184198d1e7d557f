// The page's own decisions, without a browser: node --test web/tests/
"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const zlib = require("node:zlib");
const L = require("../js/logic.js");

const file = (size = 10) => ({ size });
const entry = (path, size) => ({ path, file: file(size) });

test("pairing finds companions by base name in any letter case, per folder", () => {
  const { shapefiles, notes, zips } = L.pairShapefiles([
    entry("data/ROADS.SHP"),
    entry("data/roads.dbf"),
    entry("data/Roads.Prj"),
    entry("data/roads.cpg"),
    entry("other/roads.shp"),
    entry("other/roads.DBF"),
    entry("lone.dbf"),
    entry("readme.txt"),
    entry("bundle.ZIP"),
  ]);
  assert.deepEqual(
    shapefiles.map((s) => s.display),
    ["data/ROADS.SHP", "other/roads.shp"],
  );
  const data = shapefiles[0];
  assert.equal(data.base, "ROADS");
  assert.deepEqual(Object.keys(data.files).sort(), ["cpg", "dbf", "prj", "shp"]);
  assert.equal(data.missingDbf, false);
  // Inside the worker every companion takes the .shp's base name, so the core finds it.
  assert.deepEqual(
    L.mountNames(data).map((m) => m.name),
    ["ROADS.shp", "ROADS.dbf", "ROADS.cpg", "ROADS.prj"],
  );
  assert.deepEqual(L.outputNames(shapefiles[1]), { mif: "other/roads.mif", mid: "other/roads.mid" });
  assert.deepEqual(zips.map((z) => z.path), ["bundle.ZIP"]);
  assert.equal(notes.length, 1);
  assert.match(notes[0], /lone: \.shp がないため/);
});

test("pairing keeps one of two names that differ only in case, says so, and refuses a missing table", () => {
  const { shapefiles, notes } = L.pairShapefiles([entry("a/x.shp"), entry("a/X.shp"), entry("b\\y.shp")]);
  assert.deepEqual(shapefiles.map((s) => s.display), ["a/X.shp", "b/y.shp"]);
  assert.equal(notes.length, 1);
  assert.match(notes[0], /a\/x\.shp: a\/X\.shp と名前が大文字・小文字だけ違う/);
  assert.match(L.refusal(shapefiles[1]), /b\/y\.shp: 同じ名前の \.dbf がありません。/);
});

test("inputs beyond the limits are refused before anything runs", () => {
  const [ok] = L.pairShapefiles([entry("a.shp", 100), entry("a.dbf", 100)]).shapefiles;
  assert.equal(L.refusal(ok), "");
  const [big] = L.pairShapefiles([entry("a.shp", L.kMaxInputBytes + 1), entry("a.dbf", 1)]).shapefiles;
  assert.match(L.refusal(big), /\.shp が大きすぎます/);
  const [prj] = L.pairShapefiles([entry("a.shp"), entry("a.dbf"), entry("a.prj", L.kMaxSmallCompanionBytes + 1)]).shapefiles;
  assert.match(L.refusal(prj), /\.prj が大きすぎます/);
});

test("a download too large for the browser's memory asks for a folder instead", () => {
  const half = L.kMaxDownloadInputBytes / 2;
  const small = L.pairShapefiles([entry("a.shp", half), entry("a.dbf", half)]).shapefiles;
  assert.equal(L.downloadRefusal(small, true), "");
  const large = L.pairShapefiles([entry("a.shp", half), entry("a.dbf", half), entry("b.shp", 1), entry("b.dbf", 0)]).shapefiles;
  assert.match(L.downloadRefusal(large, true), /超えています。「フォルダーに直接書き込む」を選んでください。/);
  assert.match(L.downloadRefusal(large, false), /plexor コマンドで変換してください。/);
});

test("choices map to the core's arguments and to the same command line", () => {
  const o = L.convertOptions({ coordsys: "9", dateFormat: "yyyymmdd", charset: "utf-8" });
  assert.equal(o.index, 9);
  assert.equal(o.utf8, 1);
  assert.equal(o.dateFormat, "yyyymmdd");
  assert.deepEqual(o.commandLine, ["--threads", "1", "--date-format", "yyyymmdd", "--charset", "utf-8", "convert", "-c", "9"]);
  const d = L.convertOptions({ coordsys: 0, dateFormat: "dd.mm.yy", charset: "latin1" });
  assert.equal(d.dateFormat, "yyyy/mm/dd");
  assert.equal(d.utf8, 0);
  for (const bad of [-1, 41, "x", 1.5]) {
    assert.throws(() => L.convertOptions({ coordsys: bad }), /投影法を選択してください/);
  }
  assert.equal(L.coordsysFromInfo({ prj: { found: true, entry: 30 } }), 30);
  assert.equal(L.coordsysFromInfo({ prj: { found: false, entry: null } }), -1);
  assert.equal(L.coordsysFromInfo({ prj: null }), -1);
});

test("result lines read as the command prints them", () => {
  const base = { ok: true, error: "", objects: 3, midRows: 3, skipped: [], deleted: 0, fromZM: 0, encoding: "CP932 (言語ドライバー)", warnings: [], failureReason: "", messages: [] };
  assert.deepEqual(L.resultLines("roads.shp", base, false), [
    { kind: "", text: "roads.shp: 3 objects, 3 MID rows; CP932 (言語ドライバー)" },
    { kind: "情報", text: "変換に成功しました。" },
  ]);
  const failed = { ...base, ok: false, objects: 0, midRows: 0, encoding: "", skipped: [{ name: "Null", count: 2 }], warnings: ["w"], failureReason: "r", messages: [{ kind: "エラー", text: "不正なSHPファイルです。" }] };
  assert.deepEqual(
    L.resultLines("a/b.shp", failed, true).map((l) => `${l.kind}|${l.text}`),
    ["エラー|不正なSHPファイルです。", "|a/b.shp: 0 objects, 0 MID rows; passed over: Null 2; warnings 1 (変換に失敗しました。)", "警告|a/b.shp: w", "エラー|a/b.shp: r", "エラー|a/b.shp: 変換に失敗しました。"],
  );
  assert.deepEqual(L.resultLines("x.shp", { ...base, error: "開けません" }, false), [{ kind: "エラー", text: "Plexor Converter: 開けません" }]);
  const [s] = L.pairShapefiles([entry("d/x.shp"), entry("d/x.dbf")]).shapefiles;
  assert.equal(L.withDisplayPaths("/in/4/x.shp を開けません。/in/4/x.dbf", "/in/4", "d/x.shp", s), "d/x.shp を開けません。d/x.dbf");
});

test("crc32 matches zlib's, fed whole or in pieces", () => {
  const data = Buffer.from("Plexor ぷれくそ 1234567890".repeat(50));
  const whole = L.crc32Update(0, data);
  assert.equal(whole, zlib.crc32 ? zlib.crc32(data) : whole);
  let pieces = 0;
  for (let i = 0; i < data.length; i += 7) pieces = L.crc32Update(pieces, data.subarray(i, i + 7));
  assert.equal(pieces, whole);
  assert.equal(L.crc32Update(0, Buffer.from("123456789")), 0xcbf43926);
});

// Reads a stored zip back through its central directory, as an unzip tool does.
function readZip(buf) {
  const end = buf.lastIndexOf(Buffer.from([0x50, 0x4b, 0x05, 0x06]));
  const count = buf.readUInt16LE(end + 10);
  let at = buf.readUInt32LE(end + 16);
  const out = [];
  for (let i = 0; i < count; i++) {
    assert.equal(buf.readUInt32LE(at), 0x02014b50);
    assert.equal(buf.readUInt16LE(at + 8) & 0x0800, 0x0800);
    const crc = buf.readUInt32LE(at + 16);
    const size = buf.readUInt32LE(at + 24);
    const nameLen = buf.readUInt16LE(at + 28);
    const extraLen = buf.readUInt16LE(at + 30);
    const local = buf.readUInt32LE(at + 42);
    const name = buf.toString("utf8", at + 46, at + 46 + nameLen);
    assert.equal(buf.readUInt32LE(local), 0x04034b50);
    const dataAt = local + 30 + buf.readUInt16LE(local + 26) + buf.readUInt16LE(local + 28);
    const data = buf.subarray(dataAt, dataAt + size);
    assert.equal(L.crc32Update(0, data), crc);
    out.push({ name, data: data.toString("utf8") });
    at += 46 + nameLen + extraLen;
  }
  return out;
}

test("the stored zip holds each member as given, under UTF-8 names", () => {
  const members = [
    { name: "道路/roads.mif", text: "Version 300\r\n" },
    { name: "道路/roads.mid", text: "" },
  ].map((m) => {
    const data = Buffer.from(m.text);
    return { name: m.name, size: data.length, crc: L.crc32Update(0, data), data };
  });
  const parts = L.storedZipParts(members, new Date(2024, 0, 2, 3, 4, 6));
  const zip = Buffer.concat(parts.map((p) => Buffer.from(p)));
  assert.deepEqual(readZip(zip), [
    { name: "道路/roads.mif", data: "Version 300\r\n" },
    { name: "道路/roads.mid", data: "" },
  ]);
  // DOS date and time of the local header: 2024-01-02 03:04:06.
  assert.equal(zip.readUInt16LE(10), (3 << 11) | (4 << 5) | 3);
  assert.equal(zip.readUInt16LE(12), (44 << 9) | (1 << 5) | 2);
});

test("a member past 4 GiB gets zip64 sizes and the archive its zip64 end records", () => {
  const size = 5 * 1024 ** 3;
  const parts = L.storedZipParts([{ name: "big.mif", size, crc: 1, data: null }], new Date(2024, 0, 1));
  const local = Buffer.from(parts[0]);
  assert.equal(local.readUInt32LE(18), 0xffffffff);
  assert.equal(local.readUInt16LE(30 + 7), 0x0001);
  assert.equal(Number(local.readBigUInt64LE(30 + 7 + 4)), size);
  const central = Buffer.from(parts[2]);
  assert.equal(Number(central.readBigUInt64LE(46 + 7 + 4 + 16)), 0); // offset of the member
  const z64 = Buffer.from(parts[3]);
  assert.equal(z64.readUInt32LE(0), 0x06064b50);
  assert.equal(Number(z64.readBigUInt64LE(48)), local.length + size); // central directory start
  assert.equal(z64.readUInt32LE(56), 0x07064b50);
  const end = Buffer.from(parts[4]);
  assert.equal(end.readUInt32LE(16), 0xffffffff);
});

test("an archive's shapefiles are named through it and land beside it, refusals in the user's paths", () => {
  const zip = { path: "data/town.zip", file: { size: 1000 } };
  const listing = {
    items: [
      { source: "/in/4/town.zip/町/roads.shp", member: "町/roads.shp", refusal: "", bytes: 300 },
      { source: "/in/4/town.zip/../evil.shp", member: "../evil.shp", refusal: 'ZIP ファイル "/in/4/town.zip" の "../evil.shp" を読めません: 名前に .. があります', bytes: 0 },
    ],
  };
  const { shapefiles, notes } = L.archiveShapefiles(zip, listing, "/in/4");
  assert.deepEqual(notes, []);
  const [roads, evil] = shapefiles;
  assert.equal(roads.display, "data/town.zip/町/roads.shp");
  assert.deepEqual(L.outputNames(roads), { mif: "data/roads.mif", mid: "data/roads.mid" });
  assert.equal(L.workerShp(roads), "town.zip/町/roads.shp");
  assert.deepEqual(L.mountNames(roads).map((m) => [m.name, m.entry]), [["town.zip", zip]]);
  assert.equal(L.refusal(roads), "");
  assert.equal(L.refusal(evil), 'ZIP ファイル "data/town.zip" の "../evil.shp" を読めません: 名前に .. があります');
  // The core's messages name the member by its mount path; the log shows the user's.
  assert.equal(L.withDisplayPaths("/in/4/town.zip/町/roads.dbf を読めません", "/in/4", roads.display, roads), "data/town.zip/町/roads.dbf を読めません");
  assert.equal(L.withDisplayPaths("/in/4/town.zip/町/roads.shp: 壊れています", "/in/4/", roads.display, roads), "data/town.zip/町/roads.shp: 壊れています");
  // The inflated sizes count towards the download limit, not the archive's.
  assert.equal(L.downloadRefusal([{ ...roads, inputBytes: 3 * 1024 ** 3 }], true).includes("フォルダーに直接書き込む"), true);
  assert.equal(L.downloadRefusal([roads], false), "");
});

test("an archive that cannot be read, or holds no shapefile, is a note with the reason", () => {
  const zip = { path: "bad.shz", file: { size: 10 } };
  const broken = L.archiveShapefiles(zip, { error: 'ZIP ファイル "/in/2/bad.shz" を読めません: 終端レコードがありません' }, "/in/2/");
  assert.deepEqual(broken, { shapefiles: [], notes: ['エラー: ZIP ファイル "bad.shz" を読めません: 終端レコードがありません'] });
  const empty = L.archiveShapefiles(zip, { items: [] }, "/in/2");
  assert.deepEqual(empty.notes, ["エラー: bad.shz: シェープファイルがありません。"]);
});

test("pairs that would land on the same names refuse the later shapefile, and only while both are there", () => {
  const zip = { path: "town.zip", file: { size: 1 } };
  const listing = {
    items: ["a/roads.shp", "b/ROADS.shp", "b/rail.shp"].map((member) => ({ source: "", member, refusal: "", bytes: 1 })),
  };
  const members = L.archiveShapefiles(zip, listing, "/in/1").shapefiles;
  const loose = L.pairShapefiles([{ path: "rail.shp", file: { size: 1 } }, { path: "rail.dbf", file: { size: 1 } }]).shapefiles;
  const rows = L.refuseClashes([...loose, ...members]);
  assert.deepEqual(
    rows.map((s) => s.clash),
    ["", "", "town.zip/a/roads.shp と town.zip/b/ROADS.shp は同じ ROADS.mif に出力されます。", "rail.shp と town.zip/b/rail.shp は同じ rail.mif に出力されます。"],
  );
  // A refused member writes nothing, so it takes no name from another.
  members[0].listRefusal = "refused";
  assert.deepEqual(L.refuseClashes(members).map((s) => s.clash), ["", "", ""]);
});
