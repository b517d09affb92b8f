#include "helpTable.h"

#include <QLatin1String>

namespace {

struct HelpRow {
    const char* key;
    const char* title;
    const char* text;
};

// The program's whole help vocabulary; every key is sent by some control.
constexpr HelpRow helpRows[] = {
    {"load", "Welcome to Tidewell",
     "This is the Tidewell interactive help facility.  Please move your mouse over any item to get "
     "information on its function and use."},
    {"buttonbar", "Button Bar",
     "The button bar lets you quickly perform functions, without having to use the menus."
     "\r\n\r\n"
     "Hold your mouse over any of the buttons to see what it does."},
    {"statusbar", "Status Bar",
     "The status bar shows current information about the application.  If the application "
     "encounters problems or has information that you may be interested in, you will see it here."},
    {"tasklist", "Task List",
     "The task list displays a list of the currently active tasks.  You can select a task to edit "
     "or remove by clicking on it with the left mouse button."
     "\r\n\r\n"
     "To save time when you are moving around the application, right clicking on any task will "
     "bring up a menu containing common options."},
    {"help", "Interactive Help",
     "The interactive help facility is designed to make moving around Tidewell easier.  Simply "
     "move your mouse over any item on the screen to get information about what it is and how it "
     "works."
     "\r\n\r\n"
     "You can close Interactive Help at any time by either clicking on the Interactive Help button "
     "on the button bar, or by selecting Interactive Help in the Help Menu.  Using these functions "
     "will turn it back on again too."},
    {"menutasks", "Tasks Menu",
     "This menu contains commands for working with tasks.  To select a task to use click on it in "
     "the task list."
     "\r\n\r\n"
     "You can also access this menu by right clicking on the task list."},
    {"pausetasks", "Pause Automatic Tasks",
     "While this is checked, no task is performed on its own: neither at the regular checks nor "
     "when a source file is saved.  Perform Current Task and Perform All Tasks Now still work.  "
     "Uncheck it to let the tasks follow their update rules again; Tidewell remembers the choice "
     "when it is started again."},
    {"menuview", "View Menu",
     "The view menu contains commands that let you control the way this application displays its "
     "information."},
    {"menuhelp", "Help Menu",
     "The commands in this menu provide you with information on Tidewell and documentation on "
     "using the software."},
    {"log", "Action Log",
     "The action log lists important events that occur during the time the software is active.  If "
     "a task is performed or a task fails then it is listed in the action log, for example."},
    {"taskname", "Task Name",
     "This is a name to help you identify your tasks.  It can be anything you want it to be."},
    {"tasksourcefile", "Source File",
     "This is the source file you want to distribute.  You must specify the full path."
     "\r\n\r\n"
     "To choose your file easily use the Browse button to the right of the text box."},
    {"taskdestinationfile", "Destination File",
     "This is the location and filename you want to copy the source file to when it is "
     "distributed.  If the file already exists it will be overwritten."},
    {"taskdestinationlist", "Destination Files",
     "This list contains the locations and filenames you want to copy the source file to when it "
     "is distributed.  If the files already exist they will be overwritten.  Use the Add and "
     "Delete buttons to append and remove items from the list."
     "\r\n\r\n"
     "Note that a different task will be created for every destination file entered."},
    {"taskdestinationadd", "Add Destination",
     "Use this button to browse for a destination filename and location and add it to the list."},
    {"taskdestinationdelete", "Delete Destination",
     "Use this button to delete the currently selected destination file from the list."},
    {"taskconfirm", "Confirmation",
     "If the confirmation option is checked you can specify a confirmation message that appears "
     "before the file is distributed, asking you if you really want to perform the task."},
    {"taskconfirmtitle", "Confirmation Title",
     "This is the title of the message box that will appear asking you for confirmation."},
    {"taskconfirmmessage", "Confirmation Question",
     "This is the question that will ask you whether you want to distribute the file or not.  It "
     "should be a yes/no question."},
    {"taskrule", "Update Rule",
     "Choose a rule from the drop down list using the down arrow.  This will allow you to specify "
     "when the source file is distributed."},
    {"setupdelete", "Delete Confirmation",
     "If checked you will be asked to confirm before deleting items."},
    {"setupquit", "Quit Confirmation",
     "If checked you will be asked to confirm before quitting Tidewell."},
    {"setupnotify", "Failure Notification",
     "If checked a message appears at the notification area icon when a task fails while the "
     "main window is hidden.  The same failure of a task is shown only once."},
    {"setuptrash", "Newer Destinations",
     "If checked, a destination file that is newer than its source and holds something else is "
     "moved to the trash before the copy replaces it, so that changes made to the copy itself "
     "are kept.  When it cannot be moved to the trash, the task fails and nothing is copied."},
    {"setupautostart", "Start at Login",
     "If checked Tidewell starts hidden in the notification area each time you log in.  This "
     "copy of Tidewell, with its own tasks, is the one that will be started."},
    {"setupedit", "Edit Task",
     "When you double click on any item in the task list the Edit Task Details window will "
     "appear."},
    {"setupperform", "Perform Task",
     "When you double click on any item in the task list the source file will be distributed."},
    {"setuprun", "Run File",
     "When you double click on any item in the task list the source file will be run."},
    {"ok", "OK", "Confirm and save the new settings, then close the window."},
    {"cancel", "Cancel", "Cancel any changes and close the window."},
    {"browse", "Browse",
     "Show a dialog allowing you to choose the file name and path automatically."},
    {"setuplog", "Logging",
     "If checked then all items shown in the Activity Log window will also be saved as an text "
     "file for later reference."},
    {"setuplogfile", "Log File",
     "This is the name and path to file you want to save the Activity Log entries in."},
    {"next", "Next", "Move to the next page of the wizard."},
    {"previous", "Previous", "Move to the previous page of the wizard."},
    {"finish", "Finish", "Complete the wizard and create your new task."},
};

} // namespace

std::optional<HelpEntry> helpEntry(const QString& key) {
    for (const HelpRow& row : helpRows) {
        if (key.compare(QLatin1String(row.key), Qt::CaseInsensitive) == 0)
            return HelpEntry{QString::fromLatin1(row.title), QString::fromLatin1(row.text)};
    }
    return std::nullopt;
}
