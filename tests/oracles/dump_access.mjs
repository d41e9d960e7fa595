// Dumps every user table of an Access file as JSON, read by mdb-reader, for the reader's
// comparison tests: node dump_access.mjs FILE [PASSWORD]
// Output: {"tables":[{"name":..., "columns":[{"name","type"}], "rows":[[cell,...]], "error"?}]}
// Cells are null or tagged strings that the C++ side can reproduce exactly:
//   B:0|1  I:integer  F:float32 bits (hex, little-endian)  D:float64 bits  C:currency text
//   N:decimal text  T:milliseconds since 1970 (mdb-reader's reading of a date)  S:text
//   X:bytes (hex)  G:guid text  E:extended date text  ?:not compared (complex values)
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

function cell(type, v) {
  if (v === null || v === undefined) return null;
  switch (type) {
    case "boolean": return v ? "B:1" : "B:0";
    case "byte": case "integer": case "long": case "bigint": return "I:" + String(v);
    case "float": { const b = Buffer.alloc(4); b.writeFloatLE(v); return "F:" + b.toString("hex"); }
    case "double": { const b = Buffer.alloc(8); b.writeDoubleLE(v); return "D:" + b.toString("hex"); }
    case "currency": return "C:" + v;
    case "numeric": return "N:" + v;
    case "datetime": return "T:" + String(v.getTime());
    case "text": case "memo": return "S:" + v;
    case "binary": case "ole": return "X:" + Buffer.from(v).toString("hex");
    case "repid": return "G:" + v;
    case "datetimextended": return "E:" + v;
    default: return "?";
  }
}

const [file, password] = process.argv.slice(2);
const out = { tables: [] };
try {
  const reader = new MDBReader(readFileSync(file), password ? { password } : undefined);
  for (const name of reader.getTableNames()) {
    const entry = { name, columns: [], rows: [] };
    try {
      const table = reader.getTable(name);
      const columns = table.getColumns();
      entry.columns = columns.map((c) => ({ name: c.name, type: c.type }));
      for (const row of table.getData()) entry.rows.push(columns.map((c) => cell(c.type, row[c.name])));
    } catch (e) {
      entry.error = String(e && e.message ? e.message : e);
    }
    out.tables.push(entry);
  }
} catch (e) {
  out.error = String(e && e.message ? e.message : e);
}
process.stdout.write(JSON.stringify(out));
