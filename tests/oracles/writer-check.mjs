// Prints what the npm package mdb-reader sees in an Access file, as JSON, so that tests
// can compare it with what was written: tables (user, system and linked), each table's
// columns and rows, the database password and the creation date.
//
//   node writer-check.mjs FILE.mdb [--no-rows] [--columns=A,B]
//
// --columns limits the rows to those columns (reading fewer columns is much faster).
// Values: Buffers as {"hex": ...}, dates as ISO-8601 text in UTC, everything else as
// mdb-reader returns it (Currency and Decimal are exact decimal strings there).
import fs from "node:fs";
import MDBReader from "mdb-reader";

const [file, ...options] = process.argv.slice(2);
const withRows = !options.includes("--no-rows");
const columnsOption = options.find((o) => o.startsWith("--columns="));
const onlyColumns = columnsOption ? columnsOption.slice("--columns=".length).split(",") : null;

function plain(value) {
  if (value === null || value === undefined) return null;
  if (Buffer.isBuffer(value)) return { hex: value.toString("hex") };
  if (value instanceof Date) return value.toISOString();
  if (typeof value === "bigint") return value.toString();
  return value;
}

const reader = new MDBReader(fs.readFileSync(file));
const user = reader.getTableNames();
const system = reader.getTableNames({ normalTables: false, systemTables: true });
const linked = reader
  .getTableNames({ normalTables: false, linkedTables: true })
  .filter((name) => !user.includes(name));
const out = {
  password: reader.getPassword(),
  created: reader.getCreationDate()?.toISOString() ?? null,
  userTables: user,
  systemTables: system,
  linkedTables: linked,
  tables: {},
};
for (const name of [...user, ...system]) {
  const table = reader.getTable(name);
  const entry = {
    rowCount: table.rowCount,
    columns: table.getColumns().map((c) => {
      const col = { name: c.name, type: c.type, size: c.size, nullable: c.nullable };
      if (c.autoLong) col.autoLong = true;
      if (c.autoUUID) col.autoUUID = true;
      if (c.precision !== undefined) col.precision = c.precision;
      if (c.scale !== undefined) col.scale = c.scale;
      return col;
    }),
  };
  if (withRows) {
    const names = entry.columns.map((c) => c.name).filter((n) => !onlyColumns || onlyColumns.includes(n));
    entry.rows = table
      .getData(onlyColumns ? { columns: names } : {})
      .map((row) => names.map((n) => plain(row[n])));
  }
  out.tables[name] = entry;
}
process.stdout.write(JSON.stringify(out, null, 1) + "\n");
