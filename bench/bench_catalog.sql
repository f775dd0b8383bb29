-- The schema that the catalog benchmark lists: 32 empty tables of 16 columns
-- each (512 columns in all), the column types rotating from table to table.
--   psql -f bench_catalog.sql   (in a database of its own)
\set ON_ERROR_STOP on
SET client_min_messages = warning;

DO $$
DECLARE
    kinds text[] := ARRAY['integer', 'bigint', 'numeric(10,2)', 'double precision', 'varchar(30)', 'text',
                          'date', 'timestamp', 'boolean', 'smallint', 'real', 'char(8)', 'time',
                          'varchar(100)', 'text'];
    columns text;
BEGIN
    FOR t IN 0..31 LOOP
        columns := 'id serial PRIMARY KEY';
        FOR c IN 1..15 LOOP
            columns := columns || format(', col_%s %s', lpad(c::text, 2, '0'),
                                         kinds[1 + (t + c) % array_length(kinds, 1)]);
        END LOOP;
        EXECUTE format('DROP TABLE IF EXISTS %I', 'catalog_' || lpad(t::text, 2, '0'));
        EXECUTE format('CREATE TABLE %I (%s)', 'catalog_' || lpad(t::text, 2, '0'), columns);
    END LOOP;
END
$$;
