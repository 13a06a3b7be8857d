-- Brings an existing halvane database up to date: adds the tables that later versions use and
-- leaves every existing table and row as it is. Safe to run more than once.
USE halvane;

-- Settings of every workstation's tray client, one row (ID 1). No row means every setting is off.
CREATE TABLE IF NOT EXISTS traysettings (
  ID        TINYINT NOT NULL PRIMARY KEY,
  ReadAloud TINYINT NOT NULL DEFAULT 0
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;
