#pragma once

namespace hv {

// halvane-send's exit statuses: what a calling script can tell apart. Small numbers, each one
// thing; 4 is the one worth retrying later.
enum class ExitStatus : int {
    Done = 0,         // the alert is stored (both rows), or the export or help is written
    Failed = 1,       // anything else: halvane.ini missing, rights denied, a statement refused, output lost
    Usage = 2,        // the command line is wrong
    UnknownName = 3,  // the code or the location is not in the catalogue
    Unreachable = 4,  // the database server cannot be reached or did not answer in time
    LoginRefused = 5, // the database server refused the login
    CapRefused = 6,   // the CAP document is malformed, hostile, or asks what is not done here
    Unknown = 7,      // the alert may or may not be stored: send again with the same --token
};

} // namespace hv
