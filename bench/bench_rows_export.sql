-- The rows of a table made by bench_rows.sql, written out as a script for
-- another database, so that every driver reads the same values:
--   psql -At -v table=NAME -v dialect=sqlite|mariadb -f bench_rows_export.sql | sqlite3 FILE
--   psql -At -v table=NAME -v dialect=mariadb -f bench_rows_export.sql | mariadb DATABASE
-- The script drops and creates the table with the same columns in that
-- dialect's types (booleans as 1 and 0) and inserts the rows 1000 to a
-- statement, in one transaction.
\set ON_ERROR_STOP on
\if :{?table}
\else
\set table bench_rows
\endif
SELECT :'dialect' = 'sqlite' AS is_sqlite, :'dialect' = 'mariadb' AS is_mariadb \gset
\if :is_sqlite
\set key_column 'id INTEGER PRIMARY KEY'
\set stamp_type TIMESTAMP
\set number_type 'NUMERIC(12, 2)'
\set float_type DOUBLE
\elif :is_mariadb
\set key_column 'id INT NOT NULL PRIMARY KEY'
\set stamp_type DATETIME
\set number_type 'DECIMAL(12, 2)'
\set float_type DOUBLE
\else
\echo 'bench_rows_export.sql: -v dialect=sqlite or -v dialect=mariadb'
\quit
\endif

\qecho 'DROP TABLE IF EXISTS' :table ';'
\qecho 'CREATE TABLE' :table '(' :key_column ', qty INTEGER, serialno BIGINT, amount' :number_type ', ratio' :float_type ', code VARCHAR(40), note TEXT, day DATE, stamp' :stamp_type ', active BOOLEAN);'
\if :is_sqlite
\qecho 'BEGIN;'
\else
\qecho 'START TRANSACTION;'
\endif
-- Only digits, letters, blanks, dashes, dots and colons occur in the values,
-- so quoting needs no escapes in either dialect.
SELECT 'INSERT INTO ' || :'table' || ' VALUES ' ||
       string_agg(format('(%s, %s, %s, %s, %s, %s, %s, %s, %s, %s)', id,
                         coalesce(qty::text, 'NULL'), serialno, coalesce(amount::text, 'NULL'),
                         coalesce(ratio::text, 'NULL'), quote_nullable(code), quote_nullable(note),
                         quote_nullable(day::text), quote_nullable(to_char(stamp, 'YYYY-MM-DD HH24:MI:SS')),
                         CASE WHEN active IS NULL THEN 'NULL' WHEN active THEN '1' ELSE '0' END),
                  ', ' ORDER BY id) || ';'
  FROM :"table"
 GROUP BY (id - 1) / 1000
 ORDER BY (id - 1) / 1000;
\qecho 'COMMIT;'
