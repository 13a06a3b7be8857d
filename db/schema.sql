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

-- Delivery: which workstations are listening and what each did with each alert. The same tables
-- as db/upgrade.sql, which adds them to a database made before they existed.
-- A workstation is one desktop user on one computer (one tray client runs per user and computer).
-- Host and user names are compared exactly, as the computers report them.
CREATE TABLE IF NOT EXISTS workstations (
  HostName          VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  DesktopUser       VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  ProgramVersion    VARCHAR(32) NOT NULL DEFAULT '',
  FirstCheckIn      DATETIME NOT NULL,
  LastCheckIn       DATETIME NOT NULL,
  -- How often it promised to check in and to poll: it is silent once it is more than two poll
  -- intervals past a check-in it owed.
  CheckInSeconds    INT NOT NULL,
  PollSeconds       INT NOT NULL,
  -- The last poll that failed since the program started: the failure number and the server's words.
  LastPollFailure   VARCHAR(255) NULL,
  LastPollFailureAt DATETIME NULL,
  -- 1 when the workstation found a sound mixer / could read its volume / could read its mute switch.
  SoundDevice       TINYINT NOT NULL DEFAULT 0,
  VolumeReadable    TINYINT NOT NULL DEFAULT 0,
  MuteReadable      TINYINT NOT NULL DEFAULT 0,
  PRIMARY KEY (HostName, DesktopUser)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- One row per alert and workstation. The alert is named by the values its alerts row had, so that
-- the row outlives the purge of earlier days' alerts and still matches the alert's AlertLog row.
CREATE TABLE IF NOT EXISTS receipts (
  CodeDate     DATE NOT NULL,
  CodeTime     TIME NOT NULL,
  AlertID      INT NOT NULL,
  HostName     VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  DesktopUser  VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  CodeName     VARCHAR(255) NULL,
  CodeLocation VARCHAR(255) NULL,
  -- Every time is the server's: the workstation sends how long ago it happened, never its own clock.
  ShownAt      DATETIME(3) NOT NULL,
  -- 'played', 'no device' or 'failed' (RingReason says why); NULL when no ring ended.
  RingResult   VARCHAR(16) NULL,
  RingReason   VARCHAR(255) NULL,
  -- The volume before the ring, while it played and after it; NULL when it could not be read.
  VolumeBefore INT NULL,
  VolumeDuring INT NULL,
  VolumeAfter  INT NULL,
  -- 1 when the output was muted and the mute was lifted for the ring (0 when it was not muted), and
  -- whether the mute was on again afterwards; NULL when the mute could not be read.
  MuteLifted   TINYINT NULL,
  MuteRestored TINYINT NULL,
  RangAt       DATETIME(3) NULL,
  -- When the user first closed the popup that showed the alert.
  ClosedAt     DATETIME(3) NULL,
  PRIMARY KEY (CodeDate, CodeTime, AlertID, HostName, DesktopUser)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

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

-- Settings of every workstation's tray client, one row (ID 1). No row means every setting is off;
-- a database made before this table existed gets it from upgrade.sql.
CREATE TABLE IF NOT EXISTS traysettings (
  ID        TINYINT NOT NULL PRIMARY KEY,
  ReadAloud TINYINT NOT NULL DEFAULT 0
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- The CAP messages halvane-send took (with --cap or --follow), so that each is taken once and an
-- Update or Cancel finds the alerts that came from what it references. A message is named as CAP
-- names it: sender, identifier and sent exactly as written. Row 0 of a message is there from the
-- moment it was taken, and one more row for each further alert it made (AlertNo 1, 2, ...); two
-- gateways that take the same message at the same time both write row 0, and the one that comes
-- second gets the duplicate key and stores nothing. An alert is named as in cancellations: the
-- date, minute and ID of its alerts row, with its AlertLog row.
CREATE TABLE IF NOT EXISTS capmessages (
  Sender       VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  Identifier   VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  Sent         VARCHAR(32) CHARACTER SET ascii COLLATE ascii_bin NOT NULL,
  AlertNo      TINYINT NOT NULL,
  MsgType      VARCHAR(16) NOT NULL,
  -- What was done: 'sent' (new alerts), 'replaced' (an Update: the alerts of what it references
  -- cancelled and new ones sent) or 'cancelled' (a Cancel, or an Update giving the all-clear).
  Outcome      VARCHAR(16) NOT NULL,
  -- How many alerts still shown the message cancelled (row 0).
  Cancelled    INT NOT NULL DEFAULT 0,
  -- The server's clock, and the computer halvane-send ran on.
  TakenAt      DATETIME NOT NULL,
  HostName     VARCHAR(255) NOT NULL DEFAULT '',
  -- The alert this row stands for; NULL on row 0 of a message that made none.
  AlertID      INT NULL,
  LogID        INT NULL,
  CodeDate     DATE NULL,
  CodeTime     TIME NULL,
  CodeName     VARCHAR(255) NULL,
  CodeLocation VARCHAR(255) NULL,
  PRIMARY KEY (Sender, Identifier, Sent, AlertNo)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- Each submission's token, written in the transaction of its alerts (one row per alert it made):
-- a sender that never learned whether its COMMIT landed (the answer lost on the way) looks its
-- token up before it sends again, so that one submission makes its alerts once.
CREATE TABLE IF NOT EXISTS submissions (
  Token       VARCHAR(64) CHARACTER SET ascii COLLATE ascii_bin NOT NULL,
  AlertNo     INT NOT NULL,
  AlertID     INT NOT NULL,
  LogID       INT NOT NULL,
  -- The server's clock, and the computer it was sent from.
  SubmittedAt DATETIME NOT NULL,
  HostName    VARCHAR(255) NOT NULL DEFAULT '',
  PRIMARY KEY (Token, AlertNo)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- Where each receipt came from and how: the client address the database server saw (which no
-- workstation chooses) and whether the alert came by the wake-up channel ('wake') or by poll
-- ('poll'; NULL from a workstation without a wake-up channel). One row per address that reported
-- the receipt: a second address for one receipt is a workstation that two computers claim to be.
CREATE TABLE IF NOT EXISTS receiptorigins (
  CodeDate    DATE NOT NULL,
  CodeTime    TIME NOT NULL,
  AlertID     INT NOT NULL,
  HostName    VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  DesktopUser VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  Address     VARCHAR(255) NOT NULL,
  Channel     VARCHAR(8) NULL,
  RecordedAt  DATETIME(3) NOT NULL,
  PRIMARY KEY (CodeDate, CodeTime, AlertID, HostName, DesktopUser, Address)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- What each workstation's last check-in said beyond the workstations row, per client address the
-- server saw it from (two addresses reporting for one workstation at the same time are flagged):
-- the tables it could not read, and its wake-up channel (connected or not, to which broker and
-- since when by the server's clock, and what it did with the messages since it started: taken,
-- dropped unshown, shown and then not confirmed by the database).
CREATE TABLE IF NOT EXISTS workstationreports (
  HostName           VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  DesktopUser        VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  Address            VARCHAR(255) NOT NULL,
  ReportedAt         DATETIME NOT NULL,
  Unreadable         VARCHAR(255) NULL,
  WakeConfigured     TINYINT NOT NULL DEFAULT 0,
  WakeConnected      TINYINT NULL,
  WakeBroker         VARCHAR(255) NULL,
  WakeConnectedSince DATETIME NULL,
  WakeReceived       INT NOT NULL DEFAULT 0,
  WakeDropped        INT NOT NULL DEFAULT 0,
  WakeUnconfirmed    INT NOT NULL DEFAULT 0,
  PRIMARY KEY (HostName, DesktopUser, Address)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- Audiences: a named set of workstations, for the alerts that should ring only where they matter
-- (a spill in one laboratory). Members are host-name patterns ('*' any run of characters, '?' one,
-- letter case aside) or host names as the workstations checked in (a pattern without either).
-- Nothing here changes who sees an alert until a code is set to reach its location's audience
-- and that location names one.
CREATE TABLE IF NOT EXISTS audiences (
  ID           INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  AudienceName VARCHAR(64) NOT NULL,
  UNIQUE KEY audiences_name (AudienceName)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS audiencepatterns (
  AudienceID INT NOT NULL,
  Pattern    VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  PRIMARY KEY (AudienceID, Pattern)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- The codes that reach only the audience of the alert's location (LocationOnly 1); a code without
-- a row, or a location without an audience, reaches everyone. Named as the catalogues name them.
CREATE TABLE IF NOT EXISTS codereach (
  CodeName     VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL PRIMARY KEY,
  LocationOnly TINYINT NOT NULL DEFAULT 0
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS locationaudiences (
  CodeLocation VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL PRIMARY KEY,
  AudienceID   INT NOT NULL,
  KEY locationaudiences_audience (AudienceID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- The audience each alert was sent to, as it stood at the submission (written in the alert's
-- transaction), with its patterns, each also in the form the poll compares with the workstation's
-- folded name (LIKE, escape '!', byte for byte), so that a later change to the audience changes
-- no alert already sent. The poll goes by the patterns: an alert without any reaches every
-- workstation.
CREATE TABLE IF NOT EXISTS alertaudiences (
  CodeDate     DATE NOT NULL,
  CodeTime     TIME NOT NULL,
  AlertID      INT NOT NULL,
  AudienceID   INT NULL,
  AudienceName VARCHAR(64) NOT NULL,
  -- The alert's AlertLog row, by which the delivery window finds the audience after the purge.
  LogID        INT NULL,
  PRIMARY KEY (CodeDate, CodeTime, AlertID),
  KEY alertaudiences_log (LogID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

CREATE TABLE IF NOT EXISTS alertpatterns (
  CodeDate    DATE NOT NULL,
  CodeTime    TIME NOT NULL,
  AlertID     INT NOT NULL,
  Pattern     VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  LikePattern VARCHAR(510) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  PRIMARY KEY (CodeDate, CodeTime, AlertID, Pattern)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- How the workstations present each code's alerts: in the balloon (a code without a row, or
-- 'balloon') or over the whole of every screen ('fullscreen'); the ring once ('once') or again
-- every 20 seconds while the alert is live and nobody at the workstation has answered
-- ('untilanswered'); and the answers offered, none or up to four in button order (one
-- 'Acknowledge', or the site's own), HelpAnswer naming the one that calls for help (0: none).
-- Named as the catalogue names the code.
CREATE TABLE IF NOT EXISTS codepresentations (
  CodeName     VARCHAR(255) NOT NULL PRIMARY KEY,
  Presentation VARCHAR(16) NOT NULL DEFAULT 'balloon',
  RingMode     VARCHAR(16) NOT NULL DEFAULT 'once',
  Answer1      VARCHAR(64) NULL,
  Answer2      VARCHAR(64) NULL,
  Answer3      VARCHAR(64) NULL,
  Answer4      VARCHAR(64) NULL,
  HelpAnswer   TINYINT NOT NULL DEFAULT 0
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- Each alert's presentation as it stood at the submission (written in the alert's transaction),
-- so that a later change to the code changes no alert already sent. An alert without a row is
-- shown in the balloon and rings once, as every alert did before.
CREATE TABLE IF NOT EXISTS alertpresentations (
  CodeDate     DATE NOT NULL,
  CodeTime     TIME NOT NULL,
  AlertID      INT NOT NULL,
  LogID        INT NULL,
  Presentation VARCHAR(16) NOT NULL,
  RingMode     VARCHAR(16) NOT NULL,
  Answer1      VARCHAR(64) NULL,
  Answer2      VARCHAR(64) NULL,
  Answer3      VARCHAR(64) NULL,
  Answer4      VARCHAR(64) NULL,
  HelpAnswer   TINYINT NOT NULL DEFAULT 0,
  PRIMARY KEY (CodeDate, CodeTime, AlertID),
  KEY alertpresentations_log (LogID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- What the desktop user at each workstation answered to an alert that offered answers: one of
-- them exactly as offered, whether it was the call for help, and when (the server's clock). The
-- first answer stays. Named as the receipts name the alert and the workstation.
CREATE TABLE IF NOT EXISTS answers (
  CodeDate     DATE NOT NULL,
  CodeTime     TIME NOT NULL,
  AlertID      INT NOT NULL,
  HostName     VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  DesktopUser  VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  Answer       VARCHAR(64) NOT NULL,
  CallsForHelp TINYINT NOT NULL DEFAULT 0,
  AnsweredAt   DATETIME(3) NOT NULL,
  PRIMARY KEY (CodeDate, CodeTime, AlertID, HostName, DesktopUser)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- Everything a workstation writes goes through these procedures: the tray client's account may run
-- them and may change no delivery table itself. Each checks what it is given, dates every moment
-- by the server's clock (a workstation sends how long ago something happened, never a time), writes
-- only the row its key names, and stamps the client address the server sees. A workstation writes
-- one receipt per alert (the first stays) and checks in at most every ten seconds; a name that
-- several computers use shows as reported from several addresses. They run with the rights of
-- whoever made them (the administrator running this file).
-- Moments a workstation reports lie within a day; a volume is on the mixer's scale of 0 to 65536.
DELIMITER //

CREATE OR REPLACE PROCEDURE tray_check_in(
  IN pHost VARCHAR(255), IN pUser VARCHAR(255), IN pVersion VARCHAR(32), IN pCheckInSeconds INT,
  IN pPollSeconds INT, IN pFailure VARCHAR(255), IN pFailureAgo BIGINT, IN pSound TINYINT,
  IN pVolume TINYINT, IN pMute TINYINT, IN pUnreadable VARCHAR(255), IN pWake TINYINT,
  IN pWakeConnected TINYINT, IN pWakeBroker VARCHAR(255), IN pWakeSinceAgo BIGINT,
  IN pWakeReceived INT, IN pWakeDropped INT, IN pWakeUnconfirmed INT)
  MODIFIES SQL DATA SQL SECURITY DEFINER
  COMMENT 'A workstation checks in, about once a minute'
checkin: BEGIN
  DECLARE vAddress VARCHAR(255) DEFAULT SUBSTRING_INDEX(USER(), '@', -1);
  IF pHost IS NULL OR pHost = '' OR pUser IS NULL OR pUser = '' OR pVersion IS NULL
     OR pCheckInSeconds IS NULL OR pCheckInSeconds NOT BETWEEN 1 AND 3600
     OR pPollSeconds IS NULL OR pPollSeconds NOT BETWEEN 1 AND 3600
     OR (pFailure IS NULL) <> (pFailureAgo IS NULL) OR pFailureAgo NOT BETWEEN 0 AND 86400000000
     OR pSound IS NULL OR pSound NOT IN (0, 1) OR pVolume IS NULL OR pVolume NOT IN (0, 1)
     OR pMute IS NULL OR pMute NOT IN (0, 1) OR pWake IS NULL OR pWake NOT IN (0, 1)
     OR pWakeConnected NOT IN (0, 1) OR pWakeSinceAgo NOT BETWEEN 0 AND 31622400000000
     OR pWakeReceived < 0 OR pWakeDropped < 0 OR pWakeUnconfirmed < 0 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'Check-in refused: a value is missing or out of range';
  END IF;
  -- About once a minute, and again when its wake-up connection comes or goes: more often than every
  -- ten seconds from one address is a flood, left out without a word.
  IF EXISTS (SELECT 1 FROM workstationreports WHERE HostName = pHost AND DesktopUser = pUser
             AND Address = vAddress AND ReportedAt > NOW() - INTERVAL 10 SECOND) THEN
    LEAVE checkin;
  END IF;
  INSERT INTO workstations (HostName, DesktopUser, ProgramVersion, FirstCheckIn, LastCheckIn, CheckInSeconds,
                            PollSeconds, LastPollFailure, LastPollFailureAt, SoundDevice, VolumeReadable, MuteReadable)
  VALUES (pHost, pUser, pVersion, NOW(), NOW(), pCheckInSeconds, pPollSeconds, pFailure,
          NOW() - INTERVAL pFailureAgo MICROSECOND, pSound, pVolume, pMute)
  ON DUPLICATE KEY UPDATE ProgramVersion = VALUES(ProgramVersion), LastCheckIn = VALUES(LastCheckIn),
    CheckInSeconds = VALUES(CheckInSeconds), PollSeconds = VALUES(PollSeconds),
    LastPollFailure = VALUES(LastPollFailure), LastPollFailureAt = VALUES(LastPollFailureAt),
    SoundDevice = VALUES(SoundDevice), VolumeReadable = VALUES(VolumeReadable), MuteReadable = VALUES(MuteReadable);
  INSERT INTO workstationreports (HostName, DesktopUser, Address, ReportedAt, Unreadable, WakeConfigured,
                                  WakeConnected, WakeBroker, WakeConnectedSince, WakeReceived, WakeDropped,
                                  WakeUnconfirmed)
  VALUES (pHost, pUser, vAddress, NOW(), NULLIF(pUnreadable, ''), pWake, IF(pWake = 1, pWakeConnected, NULL),
          IF(pWake = 1 AND pWakeConnected = 1, pWakeBroker, NULL),
          IF(pWake = 1 AND pWakeConnected = 1, NOW() - INTERVAL pWakeSinceAgo MICROSECOND, NULL),
          IFNULL(pWakeReceived, 0), IFNULL(pWakeDropped, 0), IFNULL(pWakeUnconfirmed, 0))
  ON DUPLICATE KEY UPDATE ReportedAt = VALUES(ReportedAt), Unreadable = VALUES(Unreadable),
    WakeConfigured = VALUES(WakeConfigured), WakeConnected = VALUES(WakeConnected), WakeBroker = VALUES(WakeBroker),
    WakeConnectedSince = VALUES(WakeConnectedSince), WakeReceived = VALUES(WakeReceived),
    WakeDropped = VALUES(WakeDropped), WakeUnconfirmed = VALUES(WakeUnconfirmed);
END //

CREATE OR REPLACE PROCEDURE tray_receipt(
  IN pDate DATE, IN pTime TIME, IN pAlert INT, IN pHost VARCHAR(255), IN pUser VARCHAR(255),
  IN pName VARCHAR(255), IN pLocation VARCHAR(255), IN pShownAgo BIGINT, IN pResult VARCHAR(16),
  IN pReason VARCHAR(255), IN pVolumeBefore INT, IN pVolumeDuring INT, IN pVolumeAfter INT,
  IN pMuteLifted TINYINT, IN pMuteRestored TINYINT, IN pRangAgo BIGINT, IN pClosedAgo BIGINT,
  IN pChannel VARCHAR(8))
  MODIFIES SQL DATA SQL SECURITY DEFINER
  COMMENT 'A workstation reports an alert it showed'
BEGIN
  DECLARE vAddress VARCHAR(255) DEFAULT SUBSTRING_INDEX(USER(), '@', -1);
  IF pDate IS NULL OR pTime IS NULL OR pAlert IS NULL OR pHost IS NULL OR pHost = '' OR pUser IS NULL
     OR pUser = '' OR pShownAgo IS NULL OR pShownAgo NOT BETWEEN 0 AND 86400000000
     OR pRangAgo NOT BETWEEN 0 AND 86400000000 OR pClosedAgo NOT BETWEEN 0 AND 86400000000
     OR pResult NOT IN ('played', 'no device', 'failed')
     OR pVolumeBefore NOT BETWEEN 0 AND 65536 OR pVolumeDuring NOT BETWEEN 0 AND 65536
     OR pVolumeAfter NOT BETWEEN 0 AND 65536 OR pMuteLifted NOT IN (0, 1) OR pMuteRestored NOT IN (0, 1)
     OR pChannel NOT IN ('wake', 'poll') THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'Receipt refused: a value is missing or out of range';
  END IF;
  -- Only for an alert the site sent: live, or in the log once purged.
  IF NOT EXISTS (SELECT 1 FROM alerts WHERE ID = pAlert AND CodeDate = pDate AND CodeTime = pTime)
     AND NOT EXISTS (SELECT 1 FROM AlertLog WHERE CodeDate = pDate AND CodeTime = pTime
                     AND CodeName <=> pName AND CodeLocation <=> pLocation) THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'Receipt refused: the site sent no such alert';
  END IF;
  -- The first receipt of a workstation stays: restarted, it shows the alert again, but it saw it first back then.
  INSERT IGNORE INTO receipts (CodeDate, CodeTime, AlertID, HostName, DesktopUser, CodeName, CodeLocation, ShownAt,
                               RingResult, RingReason, VolumeBefore, VolumeDuring, VolumeAfter, MuteLifted,
                               MuteRestored, RangAt, ClosedAt)
  VALUES (pDate, pTime, pAlert, pHost, pUser, pName, pLocation, NOW(3) - INTERVAL pShownAgo MICROSECOND, pResult,
          LEFT(pReason, 255), pVolumeBefore, pVolumeDuring, pVolumeAfter, pMuteLifted, pMuteRestored,
          NOW(3) - INTERVAL pRangAgo MICROSECOND, NOW(3) - INTERVAL pClosedAgo MICROSECOND);
  INSERT IGNORE INTO receiptorigins (CodeDate, CodeTime, AlertID, HostName, DesktopUser, Address, Channel, RecordedAt)
  VALUES (pDate, pTime, pAlert, pHost, pUser, vAddress, pChannel, NOW(3));
END //

CREATE OR REPLACE PROCEDURE tray_close(
  IN pDate DATE, IN pTime TIME, IN pAlert INT, IN pHost VARCHAR(255), IN pUser VARCHAR(255), IN pClosedAgo BIGINT)
  MODIFIES SQL DATA SQL SECURITY DEFINER
  COMMENT 'A workstation''s user closed the popup that showed an alert'
BEGIN
  IF pDate IS NULL OR pTime IS NULL OR pAlert IS NULL OR pHost IS NULL OR pUser IS NULL OR pClosedAgo IS NULL
     OR pClosedAgo NOT BETWEEN 0 AND 86400000000 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'Close refused: a value is missing or out of range';
  END IF;
  -- The first close counts.
  UPDATE receipts SET ClosedAt = NOW(3) - INTERVAL pClosedAgo MICROSECOND
  WHERE CodeDate = pDate AND CodeTime = pTime AND AlertID = pAlert AND HostName = pHost AND DesktopUser = pUser
    AND ClosedAt IS NULL;
END //

CREATE OR REPLACE PROCEDURE tray_answer(
  IN pDate DATE, IN pTime TIME, IN pAlert INT, IN pHost VARCHAR(255), IN pUser VARCHAR(255), IN pAnswer VARCHAR(64),
  IN pAnsweredAgo BIGINT)
  MODIFIES SQL DATA SQL SECURITY DEFINER
  COMMENT 'A workstation''s user answered an alert'
BEGIN
  DECLARE vHelp TINYINT DEFAULT NULL;
  IF pDate IS NULL OR pTime IS NULL OR pAlert IS NULL OR pHost IS NULL OR pHost = '' OR pUser IS NULL
     OR pUser = '' OR pAnswer IS NULL OR pAnswer = '' OR pAnsweredAgo IS NULL
     OR pAnsweredAgo NOT BETWEEN 0 AND 86400000000 THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'Answer refused: a value is missing or out of range';
  END IF;
  -- Only one of the answers the alert offered, exactly as offered.
  SET vHelp = (SELECT CASE BINARY pAnswer WHEN BINARY Answer1 THEN HelpAnswer = 1 WHEN BINARY Answer2 THEN HelpAnswer = 2
                                         WHEN BINARY Answer3 THEN HelpAnswer = 3 WHEN BINARY Answer4 THEN HelpAnswer = 4 END
                FROM alertpresentations WHERE CodeDate = pDate AND CodeTime = pTime AND AlertID = pAlert);
  IF vHelp IS NULL THEN
    SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'Answer refused: the alert offered no such answer';
  END IF;
  INSERT IGNORE INTO answers (CodeDate, CodeTime, AlertID, HostName, DesktopUser, Answer, CallsForHelp, AnsweredAt)
  VALUES (pDate, pTime, pAlert, pHost, pUser, pAnswer, vHelp, NOW(3) - INTERVAL pAnsweredAgo MICROSECOND);
END //

DELIMITER ;
