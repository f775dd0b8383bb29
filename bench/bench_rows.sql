-- The table that the read benchmark walks: ten columns of mixed types, some
-- NULLs, every value derived from the row number so that each run reads the
-- same bytes.
--   psql -v rows=100000 [-v table=NAME] [-v key_type=TYPE] -f bench_rows.sql
-- The table is bench_rows unless `table` names another. psqlODBC keeps a
-- keyset-driven cursor only for a table with an int4 serial key, hence `id`
-- serial by default; with key_type=integer (or bigint) it grants a static
-- cursor instead, which bench/large.sh measures.
\set ON_ERROR_STOP on
\if :{?table}
\else
\set table bench_rows
\endif
\if :{?key_type}
\else
\set key_type serial
\endif
SET client_min_messages = warning;

DROP TABLE IF EXISTS :"table";
CREATE TABLE :"table" (
    id      :key_type PRIMARY KEY,
    qty     integer,
    serialno bigint,
    amount  numeric(12, 2),
    ratio   double precision,
    code    varchar(40),
    note    text,
    day     date,
    stamp   timestamp,
    active  boolean
);

-- id is given explicitly, as the row number, whatever its type; products
-- of the row number are taken in bigint so that a million rows fit.
INSERT INTO :"table" (id, qty, serialno, amount, ratio, code, note, day, stamp, active)
SELECT g,
       CASE WHEN g % 17 = 0 THEN NULL ELSE (g::bigint * 7919) % 100003 - 50000 END,
       g::bigint * 1000000007,
       CASE WHEN g % 13 = 0 THEN NULL ELSE round((g % 99991) * 1.37, 2) END,
       CASE WHEN g % 11 = 0 THEN NULL ELSE g / 7.0 END,
       'C-' || lpad(to_hex((g * 2654435761) % 4294967296), 8, '0'),
       CASE WHEN g % 7 = 0 THEN NULL ELSE 'row ' || g || ' ' || repeat('x', g % 48) END,
       date '2000-01-01' + g % 9000,
       timestamp '2000-01-01 00:00:00' + g * interval '37 seconds',
       CASE WHEN g % 19 = 0 THEN NULL ELSE g % 2 = 0 END
  FROM generate_series(1, :rows) AS g
 ORDER BY g;

VACUUM ANALYZE :"table";
