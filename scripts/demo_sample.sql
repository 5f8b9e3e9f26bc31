-- sample source database of the demo (and the end-to-end tests)
CREATE TABLE customers (
    id        integer PRIMARY KEY,
    name      varchar(60) NOT NULL,
    email     varchar(120) UNIQUE,
    city      varchar(40),
    active    boolean,
    balance   numeric(12,2),
    joined    timestamp
);
CREATE INDEX customers_city_idx ON customers (city);
INSERT INTO customers VALUES
    (1, 'Anna Kowalska', 'anna@example.com', 'Kraków', true, 1250.75, '2021-03-05 17:30:05'),
    (2, 'Jürgen Weiß', 'juergen@example.com', 'München', false, -12.5, '2019-12-25 08:00:00'),
    (3, 'O''Brien', NULL, NULL, NULL, 0, NULL),
    (4, 'Łucja Żółć', 'lucja@example.com', 'Gdańsk', true, 99999999.99, '2000-01-01 00:00:00');

CREATE TABLE documents (
    doc_id    integer PRIMARY KEY,
    title     varchar(200) NOT NULL,
    body      text,
    payload   bytea,
    token     uuid,
    created   date
);
INSERT INTO documents VALUES
    (1, 'long text', repeat('Zażółć gęślą jaźń. ', 150), '\x00010203fffe'::bytea, 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', '2010-03-05'),
    (2, 'nulls', NULL, NULL, NULL, NULL),
    (3, 'empty bytes', '', ''::bytea, '00000000-0000-0000-0000-000000000001', '0050-06-15');

CREATE TABLE measurements (
    sensor    integer NOT NULL,
    taken     timestamp NOT NULL,
    reading   double precision,
    ratio     real,
    counter   bigint,
    PRIMARY KEY (sensor, taken)
);
INSERT INTO measurements VALUES
    (1, '2020-12-25 17:30:05', 0.30000000000000004, 0.5, 9007199254740993),
    (1, '2020-12-26 06:00:00', -1.5e-120, NULL, -9223372036854775808),
    (2, '0099-01-01 12:00:00', 1e100, 3.25, NULL),
    (2, '2021-01-01 00:00:00', 0.07, 0.1, 0);

-- a name Oracle refuses: the converter gives it a generated name
CREATE TABLE "order" (
    "select"  integer PRIMARY KEY,
    "comment" varchar(100)
);
INSERT INTO "order" VALUES (1, 'first'), (2, NULL);

-- names with blanks: the table and its columns get generated names
CREATE TABLE "line items" (
    "line no"     integer PRIMARY KEY,
    "order no"    integer NOT NULL REFERENCES "order" ("select"),
    "unit price"  numeric(30,10),
    quantity      smallint,
    note          text
);
CREATE INDEX "line items by order" ON "line items" ("order no");
INSERT INTO "line items" VALUES
    (1, 1, 123456789012345678.0123456789, 3, 'tab	and ''quote'''),
    (2, 1, -0.0000000001, -32768, NULL),
    (3, 2, NULL, NULL, 'line
break');
