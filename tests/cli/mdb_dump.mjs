// Dumps the user tables of an Access file as JSON, read by the npm package mdb-reader (an
// independent reader): columns with their types and every row's values.
//   node mdb_dump.mjs FILE [PASSWORD]
// Dates become {"date": ISO text}, byte values {"hex": ...}, large numbers {"bigint": ...}.
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const require = createRequire(join(here, "..", "oracles", "package.json"));
const MDBReader = (await import(require.resolve("mdb-reader"))).default;

const [file, password] = process.argv.slice(2);
const reader = new MDBReader(readFileSync(file), password ? { password } : undefined);

function plain(value) {
  if (value === null || value === undefined) return null;
  if (value instanceof Date) return { date: value.toISOString() };
  if (Buffer.isBuffer(value)) return { hex: value.toString("hex") };
  if (typeof value === "bigint") return { bigint: value.toString() };
  if (Array.isArray(value)) return { list: value.map(plain) };
  if (typeof value === "object") return { object: true };
  return value;
}

const out = { tables: {} };
for (const name of reader.getTableNames()) {
  try {
    const table = reader.getTable(name);
    const columns = table.getColumns().map((c) => ({
      name: c.name, type: c.type, size: c.size, precision: c.precision ?? null, scale: c.scale ?? null,
    }));
    const rows = table.getData().map((row) => columns.map((c) => plain(row[c.name])));
    out.tables[name] = { columns, rows };
  } catch (e) {
    out.tables[name] = { error: String(e && e.message ? e.message : e) };
  }
}
process.stdout.write(JSON.stringify(out));
