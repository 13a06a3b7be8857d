#pragma once

#include "CatalogueDefinition.h"

#include <QList>
#include <QString>

namespace hv {

// One field of a catalogue editor; it shows the catalogue's column of the same position.
struct EditorField {
    enum class Kind { Line, Masked, MultiLine };
    QString objectName;
    QString label;
    QString toolTip;
    int limit = 0;
    Kind kind = Kind::Line;
    // The "Empty Field" message of the blank check on "Update"; empty when the field is not checked.
    QString blankMessage;
    // Typing in it enables "Update" (or disables it when it becomes empty).
    bool watched = false;
    // Emptied when "Cancel" leaves add mode.
    bool clearedOnCancel = true;
};

// Everything in which the users, locations and codes editors differ. One editor class builds all
// three windows from these; the catalogue itself is the store's.
struct EditorConfig {
    CatalogueDefinition catalogue;
    QString formName;
    QString caption;
    QString focusHolderName;
    QString addNewToolTip; // the tooltip of "Add New" when the window opens
    QString duplicateTitle;
    QString duplicateText;
    QString addedStart;
    QString deletedText; // shown after a delete; empty for none
    // The first field is the name: the duplicate check compares it, add mode puts the focus there.
    QList<EditorField> fields;
    // Enter in the second field acts as a click on "Add New"/"Cancel".
    bool enterInSecondTogglesMode = false;
    // Load failures that end the console (the locations editor); the others report and close.
    bool loadFailuresEndProgram = false;

    static EditorConfig users();
    static EditorConfig locations();
    static EditorConfig codes();
};

} // namespace hv
