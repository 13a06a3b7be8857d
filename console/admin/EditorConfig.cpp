#include "admin/EditorConfig.h"

namespace hv {

namespace {
const QString kBlankTail = QStringLiteral(" field is blank. If you don't want to create a new record click Cancel.");
}

EditorConfig EditorConfig::users() {
    EditorConfig c;
    c.catalogue = CatalogueDefinition::users();
    c.formName = QStringLiteral("Form4");
    c.caption = QStringLiteral("Add/Edit Users");
    c.focusHolderName = QStringLiteral("Text3");
    c.addNewToolTip = QStringLiteral("Create a new User Name record");
    c.duplicateTitle = QStringLiteral("Duplicate User Name Detected");
    c.duplicateText = QStringLiteral("There is already a User with that name. Please make the change before updating.");
    c.addedStart = QStringLiteral("User Name (");
    c.deletedText = QStringLiteral("The user has been deleted.");
    c.fields = {
        {QStringLiteral("Text1"), QStringLiteral("User Name"), QStringLiteral("Edit or enter a new User Name here"), 50,
         EditorField::Kind::Line, QStringLiteral("The User Name") + kBlankTail, true, true},
        {QStringLiteral("Text2"), QStringLiteral("Password"), QStringLiteral("Enter the password here"), 50,
         EditorField::Kind::Masked, QStringLiteral("The Password Name") + kBlankTail, true, true},
    };
    c.enterInSecondTogglesMode = true;
    return c;
}

EditorConfig EditorConfig::locations() {
    EditorConfig c;
    c.catalogue = CatalogueDefinition::locations();
    c.formName = QStringLiteral("Form5");
    c.caption = QStringLiteral("Add/Edit Locations");
    c.focusHolderName = QStringLiteral("Text2");
    c.addNewToolTip = QStringLiteral("Create a New Location record");
    c.duplicateTitle = QStringLiteral("Duplicate Name Detected");
    c.duplicateText =
        QStringLiteral("There is Location Named that in the database. Please make the change before updating.");
    c.addedStart = QStringLiteral("Location Name (");
    c.fields = {
        {QStringLiteral("Text1"), QStringLiteral("Location"), QStringLiteral("Edit or enter a new Location here"), 150,
         EditorField::Kind::Line, QStringLiteral("The Priority Name") + kBlankTail, true, true},
    };
    c.loadFailuresEndProgram = true;
    return c;
}

EditorConfig EditorConfig::codes() {
    EditorConfig c;
    c.catalogue = CatalogueDefinition::codes();
    c.formName = QStringLiteral("Form6");
    c.caption = QStringLiteral("Add/Edit Codes");
    c.focusHolderName = QStringLiteral("Text2");
    c.addNewToolTip = QStringLiteral("Create a New record");
    c.duplicateTitle = QStringLiteral("Duplicate Name Detected");
    c.duplicateText =
        QStringLiteral("There is Code Named that in the database. Please make the change before updating.");
    c.addedStart = QStringLiteral("Code Name (");
    c.fields = {
        {QStringLiteral("Text1"), QStringLiteral("Code"),
         QStringLiteral("Type the code here. This will show up in the system tray app"), 100, EditorField::Kind::Line,
         QStringLiteral("The Code Name") + kBlankTail, true, true},
        {QStringLiteral("Text3"), QStringLiteral("Comments"),
         QStringLiteral("Type the comments here. This will show up in the system tray application automatically. Use "
                        "this for text that should always be used with this code. Example: Code Red could have All "
                        "employees report to their fire watch location."),
         200, EditorField::Kind::MultiLine, QString(), false, false},
    };
    return c;
}

} // namespace hv
