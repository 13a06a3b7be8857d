#pragma once

class QWidget;

namespace hv {

struct ConsoleContext;
struct ReportDefinition;

enum class ReportKind { AllAlerts, SearchWithDateRange, AllUsers, AllCodes, AllLocations, TrayToolTip };

// Runs one report of the administration window's Reports menu: writes the report file and shows
// it in the viewer. adminWindow is the administration window (hourglass, dialog owner).
void runReport(ReportKind kind, ConsoleContext& ctx, QWidget* adminWindow);

// The same for a report that another window puts together: writes the report file and shows it in
// the viewer, with the window's hourglass meanwhile.
void showReport(const ReportDefinition& report, ConsoleContext& ctx, QWidget* window);

} // namespace hv
