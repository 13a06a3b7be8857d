-- Adds the tables that came after the first system to a halvane database made before they existed.
-- Safe to run any number of times: it only creates what is missing and touches no row and no other
-- table. Run as the server's administrator:
--   mysql -u root -p < /usr/share/halvane/upgrade.sql
-- The tables are the same as in schema.sql, which makes them for a new site.
USE halvane;

-- Cancelled alerts: who took an alert back and when; the alert's own rows stay as they were.
CREATE TABLE IF NOT EXISTS cancellations (
  CodeDate    DATE NOT NULL,
  CodeTime    TIME NOT NULL,
  AlertID     INT NOT NULL,
  LogID       INT NULL,
  CancelledBy VARCHAR(255) NOT NULL,
  HostName    VARCHAR(255) NOT NULL DEFAULT '',
  CancelledAt DATETIME NOT NULL,
  PRIMARY KEY (CodeDate, CodeTime, AlertID),
  KEY cancellations_log (LogID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;
