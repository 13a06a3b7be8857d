-- The halvane database: live alerts, the alert log, the three catalogues and the settings row.
-- No unique key on any name column: the editors accept names that differ only in letter case or
-- trailing blanks, which the case-insensitive collation would refuse as duplicates.
-- Every table has a primary key, as a Galera cluster needs for replicating and checking its rows.
-- The catalogues' and the settings' key is an INVISIBLE column, which "Select *" and an INSERT
-- without a column list pass over, so that the programs and reports see the columns they always
-- had. No program reads it, and nothing relies on consecutive numbers: a cluster hands them out
-- in steps of its size. (A database made before these keys keeps working without them.)
CREATE DATABASE IF NOT EXISTS halvane CHARACTER SET utf8mb4 COLLATE utf8mb4_unicode_ci;
USE halvane;

CREATE TABLE IF NOT EXISTS alerts (
  ID           INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  CodeName     VARCHAR(255) NULL,
  CodeMessage  VARCHAR(600) NULL,
  CodeDate     DATE NULL,
  CodeTime     TIME NULL,
  CodeLocation VARCHAR(255) NULL,
  Comments     VARCHAR(255) NULL,
  KEY alerts_when (CodeDate, CodeTime)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS AlertLog (
  ID           INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  CodeName     VARCHAR(255) NULL,
  CodeMessage  VARCHAR(600) NULL,
  CodeDate     DATE NULL,
  CodeTime     TIME NULL,
  CodeLocation VARCHAR(255) NULL,
  Comments     VARCHAR(255) NULL,
  KEY alertlog_when (CodeDate, CodeTime),
  KEY alertlog_name (CodeName)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS codes (
  RowID INT NOT NULL AUTO_INCREMENT INVISIBLE PRIMARY KEY,
  CodeName VARCHAR(255) NULL,
  Comments VARCHAR(255) NULL,
  KEY codes_name (CodeName)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS locations (
  RowID INT NOT NULL AUTO_INCREMENT INVISIBLE PRIMARY KEY,
  CodeLocation VARCHAR(255) NULL,
  KEY locations_name (CodeLocation)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS users (
  RowID INT NOT NULL AUTO_INCREMENT INVISIBLE PRIMARY KEY,
  UserName VARCHAR(255) NULL,
  Password VARCHAR(255) NULL,
  KEY users_name (UserName)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS properties (
  RowID INT NOT NULL AUTO_INCREMENT INVISIBLE PRIMARY KEY,
  TraysToolTipText TEXT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- The programs assume this single row exists and never insert it.
INSERT INTO properties (TraysToolTipText)
  SELECT 'Halvane - facility alerts' FROM DUAL WHERE NOT EXISTS (SELECT 1 FROM properties);

-- One row per cancelled alert: the workstations treat the alert as gone at their next poll, while
-- its alerts and AlertLog rows stay as they were. The alert is named by the values its alerts row
-- had (ID, date and minute), so that a row of a later day with a reused ID never matches; LogID is
-- the AlertLog row of the same alert, for the reports, NULL when none was found.
CREATE TABLE IF NOT EXISTS cancellations (
  CodeDate    DATE NOT NULL,
  CodeTime    TIME NOT NULL,
  AlertID     INT NOT NULL,
  LogID       INT NULL,
  -- The console's login that cancelled it, and the computer it was made on.
  CancelledBy VARCHAR(255) NOT NULL,
  HostName    VARCHAR(255) NOT NULL DEFAULT '',
  -- The server's clock, the one the workstations judge an alert's age by.
  CancelledAt DATETIME NOT NULL,
  PRIMARY KEY (CodeDate, CodeTime, AlertID),
  KEY cancellations_log (LogID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;
