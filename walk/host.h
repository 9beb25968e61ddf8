// What an operation needs of its front end, and nothing more.
//
// The operations never call the window system.  The main window implements Host with
// Qt widgets and dialogs, strnum-cli prints, tests record the calls.  All calls come from
// the one thread that runs the operation.
#pragma once

#include <string_view>

namespace strnum {

// The labels of the main window that operations write.
enum class HostLabel {
    RecordCount,  // lblRecCount: running count of the operation
    Count,        // lblCount
    District,     // lblDistrictBD: the district being visited
    Processed,    // lblProcessed
    Found,        // lblFound
};

class Host {
public:
    virtual ~Host() = default;

    virtual void setLabel(HostLabel label, std::string_view text) = 0;  // text: 1251
    // The progress bar: range, position, shown or hidden.
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgress(int position) = 0;
    virtual void showProgress(bool visible) = 0;
    // The hourglass cursor on or off.
    virtual void setBusy(bool busy) = 0;
    // Lets the window repaint and handle pending input.
    virtual void processEvents() = 0;
    // The summary question: the standard confirmation dialog with Yes and No.  text: 1251.
    virtual bool confirm(std::string_view text) = 0;
    // Shows the report window: modal (the user closes it to go on) or not.
    virtual void showReport(bool modal) = 0;
    // The standard error dialog.  message: 1251.
    virtual void showError(std::string_view message) = 0;
    // Something the run could not read or write and went past (a damaged file, a record
    // not written, an output not made), with its file and reason (1251).  The report keeps
    // its own lines; this says why, beside them, and tells the run from one that did all
    // it was asked.
    virtual void notice(std::string_view message) = 0;
};

}  // namespace strnum
