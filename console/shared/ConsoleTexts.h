#pragma once

#include "Texts.h"

#include <QString>

// The console's own texts that more than one place shows, each written once. Texts that only one
// window shows stay with that window.
namespace hv::text {

inline const QString kConnectErrorTitle = QStringLiteral("Database Connection Error");
inline const QString kConnectErrorText =
    QStringLiteral("This computer can't connect to the MYSQL database located on the main computer that you installed "
                   "the Full Server version onto. Also, make sure port 3306 is open in your firewall");

// The title of the halvane.ini advice at start-up, and of an editor that could not read its rows.
inline const QString kDatabaseErrorTitle = QStringLiteral("Database Error");
inline const QString kIniFormatText = QStringLiteral(
    "The halvane.ini file should have only the following format: MYSQLSERVERNAME=ServerComputerName. Have it all on "
    "the first line with no periods, spaces or quotes. So just use MYSQLSERVERNAME= then the name of the network "
    "computer, A.K.A. host name, that is running the MYSQL server that you should have already installed. The MYSQL "
    "server computer could be this pc, or another one on your network. This application will now close.");

inline const QString kIniMissingTitle = QStringLiteral("C:\\halvne.ini File Is Missing");
inline const QString kIniMissingText = QStringLiteral(
    "The file C:\\halvane.ini file was not found on this computer. This file must be called halvane.ini and must be "
    "located on the root of the C: on this computer. Also make sure you have completely setup the Halvane database "
    "installer on the main computer that is your Server. Contact your computer administrator.");

inline const QString kIniEmptyTitle = QStringLiteral("C:\\halvane.ini Error");
inline const QString kIniEmptyText = QStringLiteral(
    "The c:\\halvane.ini file was found on the root of the C: drive on this computer, but doesn't contain any valid "
    "database server information. The halvane.ini should only have one line of text in it in the following format. "
    "MYSQLSERVERNAME=ServerComputerName. Have it all on the first line with no periods, spaces or quotes. So just use "
    "MYSQLSERVERNAME= then the name of the network computer, host name, that is running the MYSQL server that you "
    "should have already installed.");

// The submission says it with a final period, the login without one.
inline const QString kFileNotFoundTitle = QStringLiteral("Database File Not Found");
inline const QString kFileNotFoundText = QStringLiteral("Database File not found. Contact your computer administrator");

inline const QString kNotFoundTitle = QStringLiteral("Database Not Found");
inline const QString kNotFoundText = QStringLiteral("Database not found. Contact your computer administrator");

inline const QString kNotSavedTitle = QStringLiteral("Halvane Not Saved");
inline const QString kNotSavedText =
    QStringLiteral("The new halvane record could not be saved to the database, so the alert was not sent. Your choices "
                   "have been kept. Press Submit to try again.");

inline const QString kPrinterErrorTitle = QStringLiteral("Printer Error");
inline const QString kPrinterErrorText = QStringLiteral(
    "This computer either doesn't have a default printer setup, or there was an error with the printer.");

inline const QString kUpdateFailedTitle = QStringLiteral("Update Failed");
inline const QString kDeleteFailedTitle = QStringLiteral("Delete Failed");
inline const QString kToolTipNotSavedTitle = QStringLiteral("Tool Tip Text Not Saved");

inline const QString kChangesNotSaved = QStringLiteral("Your changes have not been saved.");

inline const QString kContactAdministrator = QStringLiteral(" Contact your computer administrator");

// The sentences that tell why the database did not do what was asked.
inline const QString kReasonLost = QStringLiteral("The connection to the MYSQL database could not be made or was lost. "
                                                  "Make sure the main computer is running and port 3306 is open in "
                                                  "your firewall.");
inline const QString kReasonLoginRefused = QStringLiteral("The MYSQL database refused the login.");
inline const QString kReasonDenied = QStringLiteral("The MYSQL database denied permission for this.");
inline const QString kReasonNoRow = QStringLiteral("The record is no longer in the database.");
inline const QString kReasonRefused = QStringLiteral("The MYSQL database refused it (error %1).");
inline const QString kReadAloudNotSavedTitle = QStringLiteral("Read Aloud Not Saved");
inline const QString kReasonNoSettingsTable =
    QStringLiteral("The MYSQL database has no table for this setting yet: run upgrade.sql on it.");

inline const QString kAudiencesNotSavedTitle = QStringLiteral("Audiences Not Saved");
inline const QString kPresentationNotSavedTitle = QStringLiteral("Presentation Not Saved");
inline const QString kReasonNoPresentations =
    QStringLiteral("The MYSQL database has no tables for presentations yet, or this login may not use them: run "
                   "upgrade.sql and accounts.sql on it.");
inline const QString kReasonNoAudiences =
    QStringLiteral("The MYSQL database has no tables for audiences yet: run upgrade.sql on it.");

inline const QString kNotCancelledTitle = QStringLiteral("Alert Not Cancelled");
inline const QString kNotCancelledText =
    QStringLiteral("The alert has not been cancelled: the workstations go on showing it.");
inline const QString kReasonNoCancellations =
    QStringLiteral("The MYSQL database has no table for cancelled alerts yet; upgrade.sql adds it.");

} // namespace hv::text
