-- Veduvovir test database (Torvan.accdb is an SQLite file).
-- Ids are AUTOINCREMENT so that a deleted id is never handed out again: a new test must not inherit the
-- points that a removed test left behind. Names compare without regard to case.
PRAGMA journal_mode = WAL;

CREATE TABLE TEST_INFO (
    TEST_ID              INTEGER PRIMARY KEY AUTOINCREMENT,
    TEST_NAME            TEXT COLLATE NOCASE CHECK (length(TEST_NAME) <= 100),
    TEST_DATE            TEXT,
    RESEARCHER_NAME      TEXT CHECK (length(RESEARCHER_NAME) <= 50),
    SAMPLE_WEIGHT        REAL,
    SAMPLE_LENGTH        REAL,
    SAMPLE_HARDNESS      REAL,
    SAMPLE_description   TEXT CHECK (length(SAMPLE_description) <= 255),
    SAMPLE_COMPACT_PRESS REAL,
    SAMPLE_COMPACT_TIME  REAL,
    SAMPLE_COMPACT_DATE  TEXT CHECK (length(SAMPLE_COMPACT_DATE) <= 50),
    FLUID_INFO           TEXT CHECK (length(FLUID_INFO) <= 255)
);

CREATE TABLE TEST_RESULT (
    RESULT_ID            INTEGER PRIMARY KEY AUTOINCREMENT,
    TEST_ID              INTEGER,
    STEP_NO              INTEGER,
    RESULT_TIME          REAL,
    RESULT_TEMP          REAL,
    RESULT_BATHTEMP      REAL,
    RESULT_PRESS         REAL,
    RESULT_HEIGHT_CHANGE REAL,
    RESULT_VOLT          REAL
);

CREATE TABLE SEQUENCE_INFO (
    SEQUENCE_ID          INTEGER PRIMARY KEY AUTOINCREMENT,
    SEQUENCE_NAME        TEXT COLLATE NOCASE CHECK (length(SEQUENCE_NAME) <= 50),
    TIME_BEFORE_READ     REAL,
    SAMPLE_INTERVAL      INTEGER
);

CREATE TABLE SEQUENCE_STEP (
    SEQUENCE_STEP_ID     INTEGER PRIMARY KEY AUTOINCREMENT,
    SEQUENCE_ID          INTEGER,
    STEP_NO              REAL,
    STEP_ELAPSE_TIME     REAL,
    STEP_TEMP            REAL,
    RECORD_RATE          REAL,
    STEP_PRESS           REAL
);

CREATE INDEX IX_TEST_RESULT_TEST_TIME ON TEST_RESULT (TEST_ID, RESULT_TIME);
-- The overlay of long tests reads a test's time and length change from this index alone, in the load's
-- order (time, ties by id). The program adds it to older files that lack it.
CREATE INDEX IX_TEST_RESULT_CURVE ON TEST_RESULT (TEST_ID, RESULT_TIME, RESULT_ID, RESULT_HEIGHT_CHANGE);
CREATE INDEX IX_SEQUENCE_STEP_SEQ_NO ON SEQUENCE_STEP (SEQUENCE_ID, STEP_NO);
CREATE INDEX IX_TEST_INFO_NAME ON TEST_INFO (TEST_NAME);
CREATE INDEX IX_TEST_INFO_DATE ON TEST_INFO (TEST_DATE);
CREATE INDEX IX_SEQUENCE_INFO_NAME ON SEQUENCE_INFO (SEQUENCE_NAME);
