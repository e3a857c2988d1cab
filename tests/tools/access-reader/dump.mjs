// Prints every user table of each Access file named on the command line as
// the independent reader (mdb-reader) sees it, in the canonical form of the
// differential test, one object keyed by the paths as given:
// {"PATH": {"Table": {"columns": [...], "rows": [["kind:text", ...], ...]}}}
// or {"PATH": {"error": "why mdb-reader cannot read it"}}.
// Kinds: null, bool, int, num (shortest round-trip double), dec (exact
// decimal without trailing zeros), date (ISO, milliseconds), text, bin (hex),
// complex. Run with TZ=UTC.
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const MS_PER_DAY = 86400000;
const UNIX_EPOCH_DAYS = 25569; // 1970-01-01 as days since 1899-12-30

function decimal(s) {
  let t = String(s).trim();
  let sign = "";
  if (t.startsWith("-")) {
    sign = "-";
    t = t.slice(1);
  }
  if (t.includes(".")) t = t.replace(/0+$/, "").replace(/\.$/, "");
  t = t.replace(/^0+(?=\d)/, "");
  return "dec:" + (t === "0" ? "0" : sign + t);
}

// mdb-reader turns the stored day count into a Date linearly; Access counts
// the time of a day before 1899-12-30 forward from that day's midnight. The
// stored number is recovered from the Date and read the way Access reads it.
function oleDate(d) {
  const days = d.getTime() / MS_PER_DAY + UNIX_EPOCH_DAYS;
  const whole = Math.trunc(days);
  const fraction = Math.abs(days - whole);
  const ms = Math.round((whole - UNIX_EPOCH_DAYS) * MS_PER_DAY + fraction * MS_PER_DAY);
  return "date:" + new Date(ms).toISOString().replace(/Z$/, "");
}

// "yyyy.mm.dd hh:mm:ss.nnnnnnnnn" to ISO with milliseconds (rounded).
function extendedDate(s) {
  const m = /^(\d{4})\.(\d{2})\.(\d{2}) (\d{2}):(\d{2}):(\d{2})\.(\d{9})$/.exec(s);
  if (!m) return "text:" + s;
  const base = new Date(0);
  base.setUTCFullYear(+m[1], +m[2] - 1, +m[3]);
  base.setUTCHours(+m[4], +m[5], +m[6], 0);
  const ms = base.getTime() + Math.round(+m[7] / 1e6);
  return "date:" + new Date(ms).toISOString().replace(/Z$/, "");
}

function cell(value, type) {
  if (type === "complex") return "complex"; // a nested recordset, never a value
  if (value === null || value === undefined) return "null";
  switch (type) {
    case "boolean":
      return value ? "bool:True" : "bool:False";
    case "byte":
    case "integer":
    case "long":
      return "int:" + String(value);
    case "bigint": // exact, like a Decimal
      return decimal(value);
    case "float":
    case "double":
      return "num:" + String(value);
    case "currency":
    case "numeric":
      return decimal(value);
    case "datetime":
      return oleDate(value);
    case "datetimextended":
      return extendedDate(value);
    case "binary":
    case "ole":
      return "bin:" + Buffer.from(value).toString("hex").toUpperCase();
    case "repid":
      return "text:{" + String(value).toUpperCase().replace(/^\{|\}$/g, "") + "}";
    default:
      return "text:" + String(value);
  }
}

function dump(path) {
const reader = new MDBReader(readFileSync(path));
const out = {};
for (const name of reader.getTableNames()) {
  const table = reader.getTable(name);
  const columns = table.getColumns();
  let data;
  try {
    data = table.getData();
  } catch {
    // Complex columns the reader cannot follow: the other columns alone.
    const plain = columns.filter((c) => c.type !== "complex").map((c) => c.name);
    data = table.getData({ columns: plain });
  }
  const rows = data.map((row) => columns.map((c) => cell(row[c.name], c.type)));
  out[name] = { columns: columns.map((c) => c.name), types: columns.map((c) => c.type), rows };
}
return out;
}

const all = {};
for (const path of process.argv.slice(2)) {
  try {
    all[path] = dump(path);
  } catch (e) {
    all[path] = { error: String(e && e.message ? e.message : e) };
  }
}
process.stdout.write(JSON.stringify(all));
