-- The table that the read benchmark walks: ten columns of mixed types, some
-- NULLs, every value derived from the row number so that each run reads the
-- same bytes. psqlODBC keeps a keyset-driven cursor only for a table with an
-- int4 serial column, hence `id`.
--   psql -v rows=100000 -f bench_rows.sql
\set ON_ERROR_STOP on
SET client_min_messages = warning;

DROP TABLE IF EXISTS bench_rows;
CREATE TABLE bench_rows (
    id      serial PRIMARY KEY,
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

INSERT INTO bench_rows (qty, serialno, amount, ratio, code, note, day, stamp, active)
SELECT CASE WHEN g % 17 = 0 THEN NULL ELSE (g * 7919) % 100003 - 50000 END,
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

VACUUM ANALYZE bench_rows;
