-- The halvane database: live alerts, the alert log, the three catalogues and the settings row.
-- No unique key on any name column: the editors accept names that differ only in letter case or
-- trailing blanks, which the case-insensitive collation would refuse as duplicates.
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
  CodeName VARCHAR(255) NULL,
  Comments VARCHAR(255) NULL,
  KEY codes_name (CodeName)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS locations (
  CodeLocation VARCHAR(255) NULL,
  KEY locations_name (CodeLocation)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS users (
  UserName VARCHAR(255) NULL,
  Password VARCHAR(255) NULL,
  KEY users_name (UserName)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS properties (
  TraysToolTipText TEXT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- The programs assume this single row exists and never insert it.
INSERT INTO properties (TraysToolTipText)
  SELECT 'Halvane - facility alerts' FROM DUAL WHERE NOT EXISTS (SELECT 1 FROM properties);

-- Settings of every workstation's tray client, one row (ID 1). No row means every setting is off;
-- a database made before this table existed gets it from upgrade.sql.
CREATE TABLE IF NOT EXISTS traysettings (
  ID        TINYINT NOT NULL PRIMARY KEY,
  ReadAloud TINYINT NOT NULL DEFAULT 0
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;
