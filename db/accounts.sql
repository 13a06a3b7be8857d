-- The programs' own accounts, so that no workstation needs the server's root account:
--   the tray client (MORVIKUSER in halvane.ini) reads the live alerts, the tooltip text and its
--   settings;
--   the console (HALVANEUSER) reads and changes the rows it works with, never the tables themselves,
--   never another database, and only adds to the alert log.
-- Run as the server's administrator after schema.sql, with both passwords in user variables:
--   SET @morvik_password = '...', @halvane_password = '...';
--   SOURCE accounts.sql;
-- The accounts script beside this file does that and prints the lines for halvane.ini. Optional:
-- @morvik_user (default halvane_tray), @halvane_user (default halvane_console) and @account_host,
-- the computers they may log in from (default '%', any). Running it again sets the passwords anew
-- and puts the rights back to exactly these.

-- A missing password stops the script with an error that names it. Sourced by hand the client goes
-- on after an error, so every statement below is also empty without both passwords: a GRANT to an
-- account that was never created would otherwise create it without a password.
SET @@session.sql_mode = IF(IFNULL(@morvik_password, '') = '', 'set @morvik_password first', @@session.sql_mode);
SET @@session.sql_mode = IF(IFNULL(@halvane_password, '') = '', 'set @halvane_password first', @@session.sql_mode);
SET @ok = IFNULL(@morvik_password, '') <> '' AND IFNULL(@halvane_password, '') <> '';
-- QUOTE() escapes with backslashes; the statements below must read them that way.
SET @@session.sql_mode = TRIM(BOTH ',' FROM REPLACE(@@session.sql_mode, 'NO_BACKSLASH_ESCAPES', ''));

SET @morvik_user = IFNULL(NULLIF(@morvik_user, ''), 'halvane_tray');
SET @halvane_user = IFNULL(NULLIF(@halvane_user, ''), 'halvane_console');
SET @account_host = IFNULL(NULLIF(@account_host, ''), '%');
SET @morvik_account = CONCAT(QUOTE(@morvik_user), '@', QUOTE(@account_host));
SET @halvane_account = CONCAT(QUOTE(@halvane_user), '@', QUOTE(@account_host));

-- An account name cannot be a bound value: each statement is put together from QUOTE()d values.
SET @s = IF(@ok, CONCAT('CREATE USER IF NOT EXISTS ', @morvik_account, ' IDENTIFIED BY ', QUOTE(@morvik_password)), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('ALTER USER ', @morvik_account, ' IDENTIFIED BY ', QUOTE(@morvik_password)), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('CREATE USER IF NOT EXISTS ', @halvane_account, ' IDENTIFIED BY ', QUOTE(@halvane_password)), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('ALTER USER ', @halvane_account, ' IDENTIFIED BY ', QUOTE(@halvane_password)), NULL);
PREPARE s FROM @s; EXECUTE s;

SET @s = IF(@ok, CONCAT('REVOKE ALL PRIVILEGES, GRANT OPTION FROM ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('REVOKE ALL PRIVILEGES, GRANT OPTION FROM ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;

-- The tray client: the poll and the tooltip, nothing else.
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.alerts TO ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.properties TO ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
-- Its check-in (one row per workstation, added or refreshed in one INSERT ... ON DUPLICATE KEY
-- UPDATE) and its receipts (added, then the moment the popup was closed). MariaDB wants UPDATE on
-- every column such an INSERT names, the key included, SELECT on every column it assigns, and
-- SELECT on every column an UPDATE names in WHERE. The rights are per column, not per row: all tray
-- clients share the account, so any of them could write a check-in or close a receipt in another
-- workstation's name, but none can read a receipt's outcome, delete a row or touch another table.
-- On a database without the delivery tables (not yet upgraded) these grants are left out, since a
-- GRANT on a missing table stops the script; run it again after upgrade.sql.
SET @delivery = @ok AND (SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'halvane'
                         AND TABLE_NAME IN ('workstations', 'receipts')) = 2;
SET @checkin_columns = 'ProgramVersion, LastCheckIn, CheckInSeconds, PollSeconds, LastPollFailure, LastPollFailureAt, SoundDevice, VolumeReadable, MuteReadable';
SET @s = IF(@ok, IF(@delivery, CONCAT('GRANT INSERT, UPDATE, SELECT (', @checkin_columns,
                                      ') ON halvane.workstations TO ', @morvik_account), 'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, IF(@delivery, CONCAT('GRANT INSERT, UPDATE (ClosedAt), SELECT (CodeDate, CodeTime, AlertID, HostName, ',
                                      'DesktopUser, ClosedAt) ON halvane.receipts TO ', @morvik_account), 'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;
-- Whether alerts are read aloud. A database from before that setting has no table for it until
-- upgrade.sql has run; the grant is left out there rather than stopping the script.
SET @has_traysettings = (SELECT COUNT(*) FROM information_schema.TABLES
                         WHERE TABLE_SCHEMA = 'halvane' AND TABLE_NAME = 'traysettings');
SET @s = IF(@ok, IF(@has_traysettings, CONCAT('GRANT SELECT ON halvane.traysettings TO ', @morvik_account), 'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;

-- The console: submission (adds alerts and their log rows, purges old alerts), the catalogue
-- editors, the tooltip setting, the login and the reports. The alert log is only ever added to.
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, DELETE ON halvane.alerts TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT ON halvane.AlertLog TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, UPDATE, DELETE ON halvane.codes TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, UPDATE, DELETE ON halvane.locations TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, UPDATE, DELETE ON halvane.users TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, UPDATE ON halvane.properties TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
-- The delivery window and the workstations view only read the delivery tables.
SET @s = IF(@ok, IF(@delivery, CONCAT('GRANT SELECT ON halvane.workstations TO ', @halvane_account), 'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, IF(@delivery, CONCAT('GRANT SELECT ON halvane.receipts TO ', @halvane_account), 'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;

-- Cancelled alerts, where the database has the table (upgrade.sql adds it to an older one; run
-- this script again afterwards): the tray client reads them, the console reads and adds them and
-- never changes or removes one. Without the table nothing is granted and nothing stops.
SET @cancellations = (SELECT COUNT(*) FROM information_schema.TABLES
                      WHERE TABLE_SCHEMA = 'halvane' AND TABLE_NAME = 'cancellations');
SET @s = IF(@ok, IF(@cancellations > 0, CONCAT('GRANT SELECT ON halvane.cancellations TO ', @morvik_account),
                    'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, IF(@cancellations > 0,
                    CONCAT('GRANT SELECT, INSERT ON halvane.cancellations TO ', @halvane_account), 'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;

-- The read-aloud setting, set with an upsert (which also needs SELECT on what it assigns).
SET @s = IF(@ok, IF(@has_traysettings, CONCAT('GRANT SELECT, INSERT, UPDATE ON halvane.traysettings TO ', @halvane_account), 'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;

-- The CAP messages halvane-send took: it runs with the console's account, reads them and adds to
-- them, never changes or removes one. The tray client has no business there. Without the table
-- (upgrade.sql adds it; run this script again afterwards) nothing is granted and nothing stops.
SET @capmessages = (SELECT COUNT(*) FROM information_schema.TABLES
                    WHERE TABLE_SCHEMA = 'halvane' AND TABLE_NAME = 'capmessages');
SET @s = IF(@ok, IF(@capmessages > 0,
                    CONCAT('GRANT SELECT, INSERT ON halvane.capmessages TO ', @halvane_account), 'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;

-- The wake-up channel's tables, where the database has them. The tray client adds how each alert
-- came with its receipt (INSERT IGNORE: the first stays) and keeps its channel's line with its
-- check-in (one row per workstation, added or refreshed in one INSERT ... ON DUPLICATE KEY
-- UPDATE). Every privilege carries its own column list: a list after one privilege alone leaves
-- the others on the whole table. The console reads both.
SET @wake = (SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'halvane'
             AND TABLE_NAME IN ('receiptchannels', 'wakeupchannels')) = 2;
SET @wake_columns = 'HostName, DesktopUser, Connected, Broker, ConnectedSince, Received, Dropped, Unconfirmed, ReportedAt';
SET @s = IF(@ok, IF(@wake, CONCAT('GRANT INSERT ON halvane.receiptchannels TO ', @morvik_account), 'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, IF(@wake, CONCAT('GRANT INSERT (', @wake_columns, '), UPDATE (', @wake_columns, '), SELECT (',
                                  @wake_columns, ') ON halvane.wakeupchannels TO ', @morvik_account), 'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, IF(@wake, CONCAT('GRANT SELECT ON halvane.receiptchannels TO ', @halvane_account), 'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, IF(@wake, CONCAT('GRANT SELECT ON halvane.wakeupchannels TO ', @halvane_account), 'DO 0'), NULL);
PREPARE s FROM @s; EXECUTE s;

DEALLOCATE PREPARE s;
SET @s = NULL, @ok = NULL, @delivery = NULL, @checkin_columns = NULL, @cancellations = NULL, @has_traysettings = NULL,
    @capmessages = NULL, @wake = NULL, @wake_columns = NULL, @morvik_password = NULL, @halvane_password = NULL;
