#include "EditorConfig.h"

namespace {
const QString kBlankTail = QStringLiteral(" field is blank. If you don't want to create a new record click Cancel.");
}

EditorConfig usersEditorConfig() {
    EditorConfig c;
    c.formName = QStringLiteral("Form4");
    c.caption = QStringLiteral("Add/Edit Users");
    c.table = QStringLiteral("users");
    c.plural = QStringLiteral("users");
    c.mainQuery = QStringLiteral("Select * From users ORDER By UserName");
    c.checkQuery = QStringLiteral("Select * From users ORDER By UserName");
    c.focusHolderName = QStringLiteral("Text3");
    c.addNewToolTip = QStringLiteral("Create a new User Name record");
    c.duplicateTitle = QStringLiteral("Duplicate User Name Detected");
    c.duplicateText = QStringLiteral("There is already a User with that name. Please make the change before updating.");
    c.addedStart = QStringLiteral("User Name (");
    c.deletedText = QStringLiteral("The user has been deleted.");
    c.fields = {
        {QStringLiteral("Text1"), QStringLiteral("User Name"), QStringLiteral("Edit or enter a new User Name here"),
         QStringLiteral("UserName"), 50, EditorField::Kind::Line, QStringLiteral("The User Name") + kBlankTail, true,
         true},
        {QStringLiteral("Text2"), QStringLiteral("Password"), QStringLiteral("Enter the password here"),
         QStringLiteral("Password"), 50, EditorField::Kind::Masked, QStringLiteral("The Password Name") + kBlankTail,
         true, true},
    };
    c.enterInSecondTogglesMode = true;
    return c;
}

EditorConfig locationsEditorConfig() {
    EditorConfig c;
    c.formName = QStringLiteral("Form5");
    c.caption = QStringLiteral("Add/Edit Locations");
    c.table = QStringLiteral("locations");
    c.plural = QStringLiteral("locations");
    c.mainQuery = QStringLiteral("Select * From locations ORDER By CodeLocation");
    c.checkQuery = QStringLiteral("Select * From locations ORDER By CodeLocation");
    c.focusHolderName = QStringLiteral("Text2");
    c.addNewToolTip = QStringLiteral("Create a New Location record");
    c.duplicateTitle = QStringLiteral("Duplicate Name Detected");
    c.duplicateText =
        QStringLiteral("There is Location Named that in the database. Please make the change before updating.");
    c.addedStart = QStringLiteral("Location Name (");
    c.fields = {
        {QStringLiteral("Text1"), QStringLiteral("Location"), QStringLiteral("Edit or enter a new Location here"),
         QStringLiteral("CodeLocation"), 150, EditorField::Kind::Line, QStringLiteral("The Priority Name") + kBlankTail,
         true, true},
    };
    c.loadFailuresEndProgram = true;
    return c;
}

EditorConfig codesEditorConfig() {
    EditorConfig c;
    c.formName = QStringLiteral("Form6");
    c.caption = QStringLiteral("Add/Edit Codes");
    c.table = QStringLiteral("codes");
    c.plural = QStringLiteral("codes");
    c.mainQuery = QStringLiteral("Select * From codes ORDER By CodeName");
    c.checkQuery = QStringLiteral("Select CodeName From codes ORDER By CodeName");
    c.focusHolderName = QStringLiteral("Text2");
    c.addNewToolTip = QStringLiteral("Create a New record");
    c.duplicateTitle = QStringLiteral("Duplicate Name Detected");
    c.duplicateText =
        QStringLiteral("There is Code Named that in the database. Please make the change before updating.");
    c.addedStart = QStringLiteral("Code Name (");
    c.fields = {
        {QStringLiteral("Text1"), QStringLiteral("Code"),
         QStringLiteral("Type the code here. This will show up in the system tray app"), QStringLiteral("CodeName"),
         100, EditorField::Kind::Line, QStringLiteral("The Code Name") + kBlankTail, true, true},
        {QStringLiteral("Text3"), QStringLiteral("Comments"),
         QStringLiteral("Type the comments here. This will show up in the system tray application automatically. Use "
                        "this for text that should always be used with this code. Example: Code Red could have All "
                        "employees report to their fire watch location."),
         QStringLiteral("Comments"), 200, EditorField::Kind::MultiLine, QString(), false, false},
    };
    return c;
}
