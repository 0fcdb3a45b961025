-- Tessaline demo database.
--
-- A SQLite database with Oracle-typed columns, read through the embedded
-- OCI provider (libtsl_ocilite.so) exactly as an Oracle schema would be
-- read. Build it with demo/make_demo.sh. Dates and timestamps are kept as
-- text 'YYYY-MM-DD HH:MM:SS[.fff]'.
--
-- Contents: the classic DEPT and EMP tables with their rows, ALL_TYPES with
-- one column of every type the provider describes, and the view EMP_DEPT.

PRAGMA foreign_keys = ON;
BEGIN;

CREATE TABLE DEPT (
    DEPTNO  NUMBER(2)    NOT NULL PRIMARY KEY,
    DNAME   VARCHAR2(14),
    LOC     VARCHAR2(13)
);

INSERT INTO DEPT VALUES (10, 'ACCOUNTING', 'NEW YORK');
INSERT INTO DEPT VALUES (20, 'RESEARCH',   'DALLAS');
INSERT INTO DEPT VALUES (30, 'SALES',      'CHICAGO');
INSERT INTO DEPT VALUES (40, 'OPERATIONS', 'BOSTON');

CREATE TABLE EMP (
    EMPNO    NUMBER(4)    NOT NULL PRIMARY KEY,
    ENAME    VARCHAR2(10),
    JOB      VARCHAR2(9),
    MGR      NUMBER(4),
    HIREDATE DATE,
    SAL      NUMBER(7,2),
    COMM     NUMBER(7,2),
    DEPTNO   NUMBER(2)    REFERENCES DEPT (DEPTNO)
);

INSERT INTO EMP VALUES (7369, 'SMITH',  'CLERK',     7902, '1980-12-17 00:00:00',  800, NULL, 20);
INSERT INTO EMP VALUES (7499, 'ALLEN',  'SALESMAN',  7698, '1981-02-20 00:00:00', 1600,  300, 30);
INSERT INTO EMP VALUES (7521, 'WARD',   'SALESMAN',  7698, '1981-02-22 00:00:00', 1250,  500, 30);
INSERT INTO EMP VALUES (7566, 'JONES',  'MANAGER',   7839, '1981-04-02 00:00:00', 2975, NULL, 20);
INSERT INTO EMP VALUES (7654, 'MARTIN', 'SALESMAN',  7698, '1981-09-28 00:00:00', 1250, 1400, 30);
INSERT INTO EMP VALUES (7698, 'BLAKE',  'MANAGER',   7839, '1981-05-01 00:00:00', 2850, NULL, 30);
INSERT INTO EMP VALUES (7782, 'CLARK',  'MANAGER',   7839, '1981-06-09 00:00:00', 2450, NULL, 10);
INSERT INTO EMP VALUES (7788, 'SCOTT',  'ANALYST',   7566, '1987-04-19 00:00:00', 3000, NULL, 20);
INSERT INTO EMP VALUES (7839, 'KING',   'PRESIDENT', NULL, '1981-11-17 00:00:00', 5000, NULL, 10);
INSERT INTO EMP VALUES (7844, 'TURNER', 'SALESMAN',  7698, '1981-09-08 00:00:00', 1500,    0, 30);
INSERT INTO EMP VALUES (7876, 'ADAMS',  'CLERK',     7788, '1987-05-23 00:00:00', 1100, NULL, 20);
INSERT INTO EMP VALUES (7900, 'JAMES',  'CLERK',     7698, '1981-12-03 00:00:00',  950, NULL, 30);
INSERT INTO EMP VALUES (7902, 'FORD',   'ANALYST',   7566, '1981-12-03 00:00:00', 3000, NULL, 20);
INSERT INTO EMP VALUES (7934, 'MILLER', 'CLERK',     7782, '1982-01-23 00:00:00', 1300, NULL, 10);

-- One column of every type. LONG is declared LONG VARCHAR: SQLite gives a
-- plain LONG numeric affinity, which would turn a text such as '1.50' into
-- the number 1.5; LONG VARCHAR describes as LONG and keeps text as text.
-- Interval types must be written in double quotes for SQLite to take them.
CREATE TABLE ALL_TYPES (
    ID             NUMBER(5)     NOT NULL PRIMARY KEY,
    C_VARCHAR2     VARCHAR2(40)  DEFAULT 'n/a',
    C_NVARCHAR2    NVARCHAR2(20),
    C_CHAR         CHAR(6),
    C_NCHAR        NCHAR(3),
    C_NUMBER       NUMBER,
    C_NUMBER_P     NUMBER(9),
    C_NUMBER_PS    NUMBER(10,2)  DEFAULT 0,
    C_NUMBER_NEG   NUMBER(7,-2),
    C_NUMBER_BIG   NUMBER(15),
    C_FLOAT        FLOAT,
    C_INTEGER      INTEGER,
    C_DATE         DATE,
    C_TIMESTAMP    TIMESTAMP,
    C_INTERVAL     "INTERVAL DAY TO SECOND",
    C_RAW          RAW(16),
    C_LONG         LONG VARCHAR,
    C_LONG_RAW     LONG RAW,
    C_CLOB         CLOB,
    C_NCLOB        NCLOB,
    C_BLOB         BLOB,
    C_BFILE        BFILE,
    C_ROWID        ROWID
);

-- A plain row.
INSERT INTO ALL_TYPES VALUES (
    1, 'Plain ASCII text', 'National text', 'ABC', 'XYZ',
    3.14159, 123456789, 12345678.9, 1200, 5000000000, 0.5, 42,
    '2012-03-15 13:45:30', '2012-03-15 13:45:30.250', '+01 02:03:04.000000',
    X'00FF10A5', 'A LONG value', X'01AB',
    'A short CLOB', 'A short NCLOB', X'DEADBEEF',
    'MEDIA_DIR/logo.gif', 'AAAR3sAAEAAAACXAAA');

-- Non-Latin letters, CR LF inside texts, negative numbers.
INSERT INTO ALL_TYPES VALUES (
    2, 'Привет, мир', 'Καλημέρα κόσμε', 'ДА', '中文字',
    -0.001, -987654321, -0.5, -300, -123456789012345, -1.5E-7, -7,
    '1912-09-07 10:00:00', '1969-12-31 23:59:59.999', '-00 00:00:01.500000',
    X'0102030405060708090A0B0C0D0E0F10', 'Line one' || char(13, 10) || 'Line two',
    X'FFFE',
    'First line' || char(13, 10) || 'Second line' || char(13) || 'Third line' || char(10) || 'end',
    '日本語のテキスト — ελληνικά — кириллица', X'00',
    NULL, NULL);

-- NULL in every nullable column.
INSERT INTO ALL_TYPES (ID) VALUES (3);
UPDATE ALL_TYPES SET C_VARCHAR2 = NULL, C_NUMBER_PS = NULL WHERE ID = 3;

-- Empty values and large LOBs read in several pieces (more than 32,768 bytes).
INSERT INTO ALL_TYPES VALUES (
    4, '', '', '      ', '   ',
    0, 0, 0, 0, 0, 0, 0,
    '2000-02-29 00:00:00', '2038-01-19 03:14:07', '+00 00:00:00.000000',
    X'', '', X'',
    replace(printf('%.*c', 10000, 'x'), 'x', 'Lorem ipsum ') || ' Ω',
    replace(printf('%.*c', 12000, 'x'), 'x', 'Ж'),
    CAST(replace(printf('%.*c', 5000, 'x'), 'x', '0123456789ABCDEF') AS BLOB),
    NULL, NULL);

CREATE VIEW EMP_DEPT AS
    SELECT e.EMPNO, e.ENAME, e.JOB, e.SAL, e.HIREDATE, d.DNAME, d.LOC
    FROM EMP e JOIN DEPT d ON d.DEPTNO = e.DEPTNO;

COMMIT;
