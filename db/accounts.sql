-- The programs' own accounts, so that no workstation needs the server's root account:
--   the tray client (MORVIKUSER in halvane.ini) reads the live alerts, the tooltip text and its
--   settings, and writes its check-ins and receipts through the procedures of schema.sql alone;
--   the console (HALVANEUSER) reads and changes the rows it works with, never the tables themselves,
--   never another database, and only adds to the alert log.
-- Run as the server's administrator after schema.sql, with both passwords in user variables:
--   SET @morvik_password = '...', @halvane_password = '...';
--   SOURCE accounts.sql;
-- The accounts script beside this file does that and prints the lines for halvane.ini. Optional:
-- @morvik_user (default halvane_tray), @halvane_user (default halvane_console) and @account_host,
-- the computers they may log in from (default '%', any), and @morvik_connections (default 100).
-- Running it again sets the passwords anew and puts the rights back to exactly these.

-- A missing password stops the script with an error that names it, and so does a database that
-- lacks a table or procedure of this version (run upgrade.sql first): every grant below needs
-- them. Sourced by hand the client goes on after an error, so every statement below is also empty
-- then: a GRANT to an account that was never created would otherwise create it without a password.
SET @missing = (SELECT GROUP_CONCAT(n ORDER BY n SEPARATOR ' and ') FROM (
    SELECT 'workstations' AS n UNION ALL SELECT 'receipts' UNION ALL SELECT 'cancellations'
    UNION ALL SELECT 'traysettings' UNION ALL SELECT 'capmessages' UNION ALL SELECT 'receiptorigins'
    UNION ALL SELECT 'workstationreports' UNION ALL SELECT 'submissions' UNION ALL SELECT 'audiences'
    UNION ALL SELECT 'audiencepatterns' UNION ALL SELECT 'codereach' UNION ALL SELECT 'locationaudiences'
    UNION ALL SELECT 'alertaudiences' UNION ALL SELECT 'alertpatterns' UNION ALL SELECT 'codepresentations'
    UNION ALL SELECT 'alertpresentations' UNION ALL SELECT 'answers') wanted
  WHERE n NOT IN (SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'halvane'));
SET @missing = CONCAT_WS(' and ', @missing, (SELECT GROUP_CONCAT(n ORDER BY n SEPARATOR ' and ') FROM (
    SELECT 'tray_check_in' AS n UNION ALL SELECT 'tray_receipt' UNION ALL SELECT 'tray_close'
    UNION ALL SELECT 'tray_answer') wanted
  WHERE n NOT IN (SELECT ROUTINE_NAME FROM information_schema.ROUTINES WHERE ROUTINE_SCHEMA = 'halvane')));
SET @missing = NULLIF(@missing, '');
SET @@session.sql_mode = IF(IFNULL(@morvik_password, '') = '', 'set @morvik_password first', @@session.sql_mode);
SET @@session.sql_mode = IF(IFNULL(@halvane_password, '') = '', 'set @halvane_password first', @@session.sql_mode);
SET @@session.sql_mode = IF(@missing IS NULL, @@session.sql_mode,
                            CONCAT('run upgrade.sql first: the database lacks ', @missing));
SET @ok = IFNULL(@morvik_password, '') <> '' AND IFNULL(@halvane_password, '') <> '' AND @missing IS NULL;
-- QUOTE() escapes with backslashes; the statements below must read them that way.
SET @@session.sql_mode = TRIM(BOTH ',' FROM REPLACE(@@session.sql_mode, 'NO_BACKSLASH_ESCAPES', ''));

SET @morvik_user = IFNULL(NULLIF(@morvik_user, ''), 'halvane_tray');
SET @halvane_user = IFNULL(NULLIF(@halvane_user, ''), 'halvane_console');
SET @account_host = IFNULL(NULLIF(@account_host, ''), '%');
-- How many connections all workstations together may hold at once (see the README for the sizing):
-- a desktop user who reads the tray client's password can hold no more than these, and the console
-- and halvane-send, with their own account, can always log in.
SET @morvik_connections = IFNULL(@morvik_connections, 100);
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

-- The tray client reads the poll's tables and the tooltip, and writes through the procedures alone
-- (its check-in, its receipts and its closes): it has no right on any delivery table itself, so
-- that a desktop user who reads its password writes nothing but what the procedures check and stamp.
-- Its connections are limited, and so is each of its statements.
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.alerts TO ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.properties TO ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.cancellations TO ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.traysettings TO ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
-- Whom each live alert is for: the poll shows a workstation only the alerts for everyone and for
-- an audience its name belongs to.
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.alertpatterns TO ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
-- How each live alert is presented, and the answers it offers.
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.alertpresentations TO ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT EXECUTE ON PROCEDURE halvane.tray_answer TO ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT EXECUTE ON PROCEDURE halvane.tray_check_in TO ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT EXECUTE ON PROCEDURE halvane.tray_receipt TO ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT EXECUTE ON PROCEDURE halvane.tray_close TO ', @morvik_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('ALTER USER ', @morvik_account, ' WITH MAX_USER_CONNECTIONS ', @morvik_connections + 0,
                        ' MAX_STATEMENT_TIME 10'), NULL);
PREPARE s FROM @s; EXECUTE s;

-- The console: submission (adds alerts and their log rows, purges old alerts), the catalogue
-- editors, the tooltip setting, the login and the reports. The alert log is only ever added to.
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, DELETE ON halvane.alerts TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT ON halvane.AlertLog TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
-- Each submission's token, looked up before a submission is sent again.
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT ON halvane.submissions TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, UPDATE, DELETE ON halvane.codes TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, UPDATE, DELETE ON halvane.locations TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, UPDATE, DELETE ON halvane.users TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, UPDATE ON halvane.properties TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
-- The delivery and workstations windows only read what the workstations wrote.
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.workstations TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.receipts TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.receiptorigins TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.workstationreports TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
-- Cancelled alerts: read and added, never changed or removed.
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT ON halvane.cancellations TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
-- The read-aloud setting, set with an upsert (which also needs SELECT on what it assigns).
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, UPDATE ON halvane.traysettings TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
-- Audiences, the reach of each code and the audience of each location are the administrators'
-- to edit; each alert's audience is written with it and never changed.
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, UPDATE, DELETE ON halvane.audiences TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, UPDATE, DELETE ON halvane.audiencepatterns TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, UPDATE, DELETE ON halvane.codereach TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, UPDATE, DELETE ON halvane.locationaudiences TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT ON halvane.alertaudiences TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT ON halvane.alertpatterns TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
-- Each code's presentation is the administrators' to edit; each alert's is written with it and
-- never changed; the answers are the workstations' (through their procedure), only read here.
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT, UPDATE, DELETE ON halvane.codepresentations TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT ON halvane.alertpresentations TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
SET @s = IF(@ok, CONCAT('GRANT SELECT ON halvane.answers TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;
-- The CAP messages halvane-send took: it runs with the console's account, reads them and adds to
-- them, never changes or removes one. The tray client has no business there.
SET @s = IF(@ok, CONCAT('GRANT SELECT, INSERT ON halvane.capmessages TO ', @halvane_account), NULL);
PREPARE s FROM @s; EXECUTE s;

DEALLOCATE PREPARE s;
SET @s = NULL, @ok = NULL, @missing = NULL, @morvik_connections = NULL, @morvik_password = NULL,
    @halvane_password = NULL;
