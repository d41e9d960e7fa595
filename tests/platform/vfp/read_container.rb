# Reads every table of a Visual FoxPro database container with ruby-dbf and prints it as
# JSON: {"table": {"reader": how, "columns": [long names], "rows": [[values]]}, ...}.
#
#   ruby read_container.rb PATH.dbc
#
# Tables are listed by DBF::Database::Foxpro, which also maps the long column names onto
# the .dbf's columns. Version 3.0.5 of ruby-dbf stops on a table with nullable columns
# (its hidden _NullFlags column gets no long name); such a table is read with DBF::Table
# instead, and its long names are taken from the container's Field records, in order.
# ruby-dbf ignores null flags, so a null reads as a blank value of its column's type.
# Values: numbers as numbers, texts and memos as strings, dates as "YYYY-MM-DD", date-times
# as "YYYY-MM-DD HH:MM:SS", logicals as booleans.
require 'dbf'
require 'json'
require 'date'

# ruby-dbf decodes texts and names from the code page each header names into the default
# external encoding, which a locale that is not installed would make ASCII.
Encoding.default_external = Encoding::UTF_8

# ruby-dbf 3.0.5 keeps only printable ASCII of a column name, which leaves a Polish name
# short and a Japanese one empty (and then refused). Keep every printable character: a
# .dbf name's bytes decoded in the code page its header names, a long name as it is.
module DBF
  class Column
    def clean(value)
      name = value.strip.partition("\x00").first
      if name.encoding == Encoding::ASCII_8BIT
        name = name.dup.force_encoding(@table.encoding || 'cp1252').encode('UTF-8', invalid: :replace, undef: :replace)
      end
      name.gsub(/[[:cntrl:]]/, '')
    end
  end
end

def value_of(v)
  case v
  when DateTime, Time then v.strftime('%Y-%m-%d %H:%M:%S')
  when Date then v.strftime('%Y-%m-%d')
  when String then v.dup.force_encoding('UTF-8').valid_encoding? ? v : v.encode('UTF-8', 'Windows-1252')
  else v
  end
end

path = ARGV.fetch(0)
db = DBF::Database::Foxpro.new(path)

# The container's own records: table ids by name, and the long field names of each table.
ids = {}
fields = Hash.new { |h, k| h[k] = [] }
DBF::Table.new(path).each do |r|
  next unless r
  ids[r.objectname] = r.objectid if r.objecttype == 'Table'
  fields[r.parentid] << r.objectname if r.objecttype == 'Field'
end

out = {}
db.table_names.each do |name|
  begin
    table = db.table(name)
    columns = table.column_names
    rows = table.map { |r| r && r.to_a.map { |v| value_of(v) } }.compact
    reader = 'DBF::Database::Foxpro'
  rescue StandardError => e
    table = DBF::Table.new(db.table_path(name))
    keep = table.columns.each_index.reject { |i| table.columns[i].name == '_NullFlags' }
    columns = fields[ids[name]]
    rows = table.map { |r| r && keep.map { |i| value_of(r.to_a[i]) } }.compact
    reader = "DBF::Table and the Field records (Database::Foxpro: #{e.class})"
  end
  out[name] = { 'reader' => reader, 'columns' => columns, 'rows' => rows }
end
puts JSON.generate(out)
