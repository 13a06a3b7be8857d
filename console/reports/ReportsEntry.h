#pragma once

class QWidget;

namespace hv {

struct ConsoleContext;

enum class ReportKind { AllAlerts, SearchWithDateRange, AllUsers, AllCodes, AllLocations, TrayToolTip };

// Runs one report of the administration window's Reports menu: writes the report file and shows
// it in the viewer. adminWindow is the administration window (hourglass, dialog owner).
void runReport(ReportKind kind, ConsoleContext& ctx, QWidget* adminWindow);

} // namespace hv
