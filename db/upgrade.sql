-- Adds the tables that came after the first system to a halvane database made before they existed.
-- Safe to run any number of times: it only creates what is missing and touches no row and no other
-- table. Run as the server's administrator:
--   mysql -u root -p < /usr/share/halvane/upgrade.sql
-- The tables are the same as in schema.sql, which makes them for a new site.
USE halvane;

-- Delivery: which workstations are listening and what each did with each alert.
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

-- Settings of every workstation's tray client, one row (ID 1). No row means every setting is off.
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

-- The wake-up channel (a later addition; upgrade.sql adds these tables to an older database).
-- How each receipt's alert reached the workstation: 'wake' (the wake-up channel, before any poll)
-- or 'poll'. Written with the receipt by a workstation that has a wake-up channel; a receipt
-- without a row here came by poll. Named as the receipt is.
CREATE TABLE IF NOT EXISTS receiptchannels (
  CodeDate    DATE NOT NULL,
  CodeTime    TIME NOT NULL,
  AlertID     INT NOT NULL,
  HostName    VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  DesktopUser VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  Channel     VARCHAR(8) NOT NULL,
  PRIMARY KEY (CodeDate, CodeTime, AlertID, HostName, DesktopUser)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;

-- Each workstation's wake-up channel as it reported it with its last check-in: connected or not,
-- to which broker and since when (the server's clock), and what it did with the messages since
-- the tray client started: taken, dropped unshown, shown and then not confirmed by the database.
CREATE TABLE IF NOT EXISTS wakeupchannels (
  HostName       VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  DesktopUser    VARCHAR(255) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin NOT NULL,
  Connected      TINYINT NOT NULL,
  Broker         VARCHAR(255) NULL,
  ConnectedSince DATETIME NULL,
  Received       INT NOT NULL DEFAULT 0,
  Dropped        INT NOT NULL DEFAULT 0,
  Unconfirmed    INT NOT NULL DEFAULT 0,
  ReportedAt     DATETIME NOT NULL,
  PRIMARY KEY (HostName, DesktopUser)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_unicode_ci;
