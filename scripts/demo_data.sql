-- The sample database of scripts/demo.sh: a small shop. Mixed column types,
-- Japanese text (the database is UTF-8), NULLs and a view.
-- Written for PostgreSQL; scripts/demo.sh gives it to SQLite too, with
-- "serial PRIMARY KEY" made SQLite's INTEGER PRIMARY KEY.
BEGIN;

CREATE TABLE customers (
    id        serial PRIMARY KEY,
    name      varchar(60) NOT NULL,
    city      varchar(40),
    email     text,
    vip       boolean NOT NULL DEFAULT false,
    joined_on date NOT NULL
);

CREATE TABLE products (
    id          serial PRIMARY KEY,
    name        varchar(80) NOT NULL,
    category    varchar(40) NOT NULL,
    price       numeric(10, 2) NOT NULL,
    in_stock    integer NOT NULL,
    released_on date,
    notes       text
);

CREATE TABLE orders (
    id          serial PRIMARY KEY,
    customer_id integer NOT NULL REFERENCES customers,
    product_id  integer NOT NULL REFERENCES products,
    quantity    integer NOT NULL,
    ordered_at  timestamp NOT NULL,
    shipped     boolean NOT NULL,
    remark      text
);

INSERT INTO customers (name, city, email, vip, joined_on) VALUES
    ('山田 太郎',      '東京',     'taro.yamada@example.jp', true,  '2019-04-01'),
    ('佐藤 花子',      '大阪',     NULL,                     false, '2021-11-15'),
    ('Alice Martin',   'Lyon',     'alice@example.fr',       false, '2022-02-28'),
    ('Bob O''Neil',    NULL,       'bob@example.com',        true,  '2023-07-09'),
    ('鈴木 一郎',      '札幌',     'ichiro@example.jp',      false, '2024-01-20');

INSERT INTO products (name, category, price, in_stock, released_on, notes) VALUES
    ('緑茶（抹茶入り）',      '飲料',       480.00,  120, '2020-05-10', '静岡県産'),
    ('Ceramic teapot, 1 l',   'Kitchen',   3200.00,   15, '2018-09-01', 'Dishwasher safe; "classic" glaze'),
    ('どら焼き 6個入り',      '菓子',       960.00,    0, '2023-03-03', NULL),
    ('Bamboo whisk',          'Kitchen',   1850.50,   42, NULL,         'Hand-made'),
    ('ほうじ茶',              '飲料',       420.00,   80, '2021-10-01', 'Roasted.
Try it cold.');

INSERT INTO orders (customer_id, product_id, quantity, ordered_at, shipped, remark) VALUES
    (1, 1, 3, '2024-03-01 09:15:00', true,  NULL),
    (2, 3, 1, '2024-03-02 14:40:30', false, '在庫切れ：入荷待ち'),
    (3, 2, 2, '2024-03-05 08:05:12', true,  'Gift wrap, please'),
    (1, 4, 1, '2024-03-07 19:22:45', true,  NULL),
    (4, 5, 6, '2024-03-09 11:00:00', false, NULL),
    (5, 1, 2, '2024-03-10 16:30:00', true,  '領収書を同封');

CREATE VIEW order_totals AS
    SELECT o.id, c.name AS customer, p.name AS product, o.quantity,
           o.quantity * p.price AS total
      FROM orders o
      JOIN customers c ON c.id = o.customer_id
      JOIN products p ON p.id = o.product_id;

COMMIT;
