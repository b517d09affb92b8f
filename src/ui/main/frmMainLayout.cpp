// The main window's layout and the settings that restore it: placement, bars, view options
// and the task list's columns, all kept in twips so they mean the same on any screen.
#include "frmMain.h"

#include "modRegistry.h"
#include "taskListView.h"

#include <QAction>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include <optional>

namespace {

constexpr int twipsPerInch = 1440;
constexpr int designLogHeight = 1425;
constexpr int designHelpWidth = 2775;
constexpr int helpMargin = 60;
// Between the task list and the log or the help panel.
constexpr int childGap = 40;
constexpr int statusPanel1MinWidth = 4410;
constexpr int statusPanel2Width = 3175;

// A flag text: "True"/"False" in any case, or a number (non-zero is true).
std::optional<bool> flagValue(const QString& text) {
    if (text.compare("true", Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare("false", Qt::CaseInsensitive) == 0)
        return false;
    bool isNumber = false;
    const double number = text.trimmed().toDouble(&isNumber);
    if (isNumber)
        return number != 0;
    return std::nullopt;
}

bool readFlag(const char* name, const char* defaultText) {
    return flagValue(readSetting(name, defaultText)).value_or(*flagValue(defaultText));
}

// A whole number setting as stored; nothing when it is missing or does not convert.
std::optional<int> storedNumber(const QString& name) {
    bool isNumber = false;
    const int number = readSetting(name, QString()).trimmed().toInt(&isNumber);
    return isNumber ? std::optional(number) : std::nullopt;
}

// A whole number setting; the default when the stored text does not convert.
int readNumber(const QString& name, int defaultValue) {
    return storedNumber(name).value_or(defaultValue);
}

QString flagText(const QAction* item) {
    return item->isChecked() ? "True" : "False";
}

// The index of the first checked item, or -1.
int firstChecked(const QList<QAction*>& items) {
    for (int index = 0; index < items.size(); ++index) {
        if (items[index]->isChecked())
            return index;
    }
    return -1;
}

// The rectangle made no larger than the screens it may span.
QRect withinScreens(const QRect& frame) {
    QRect screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens |= screen->availableGeometry();
    if (screens.isEmpty())
        return frame;
    return {frame.topLeft(), frame.size().boundedTo(screens.size())};
}

// Whether enough of the rectangle lies on some screen for the user to grab it.
bool onSomeScreen(const QRect& frame) {
    constexpr int grabbable = 40;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shared = screen->availableGeometry().intersected(frame);
        if (shared.width() >= grabbable && shared.height() >= grabbable)
            return true;
    }
    return false;
}

} // namespace

int frmMain::twipsToPixelsX(int twips) const {
    return qRound(double(twips) * logicalDpiX() / twipsPerInch);
}
int frmMain::twipsToPixelsY(int twips) const {
    return qRound(double(twips) * logicalDpiY() / twipsPerInch);
}
int frmMain::pixelsToTwipsX(int pixels) const {
    return qRound(double(pixels) * twipsPerInch / logicalDpiX());
}
int frmMain::pixelsToTwipsY(int pixels) const {
    return qRound(double(pixels) * twipsPerInch / logicalDpiY());
}

void frmMain::applyWindowOptions() {
    objStatusBar->setVisible(mnuViewToolbarsStatus->isChecked());
    objToolbar->setVisible(mnuViewToolbarsStandard->isChecked());
    picHelp->setVisible(mnuHelpInteractive->isChecked());
    lstLog->setVisible(mnuViewToolbarsLog->isChecked());
    lvwTasks->setColumnHeadersVisible(mnuViewTaskColumnHeaders->isChecked());
    lvwTasks->setGridLines(mnuViewTaskGrid->isChecked());
    arrangeControls();
}

// Laid out in the client area under the menu bar, whatever frame the desktop puts around the
// window. The design's sizes grow with the desktop's font; the bars take the height their
// own font asks for.
void frmMain::arrangeControls() {
    if (!lvwTasks)
        return;
    // A hidden window is laid out only when it shows; its client area is placed now, under
    // the menu bar. Showing may place it again, which comes back here as its resize.
    if (!isVisible())
        layout()->activate();
    const QRect client = centralWidget()->rect();
    const bool toolbar = mnuViewToolbarsStandard->isChecked();
    const bool statusBar = mnuViewToolbarsStatus->isChecked();
    const bool log = mnuViewToolbarsLog->isChecked();
    const bool help = mnuHelpInteractive->isChecked();
    const int toolbarHeight = objToolbar->sizeHint().height();
    const int statusBarHeight = objStatusBar->sizeHint().height();
    const int gap = scaledX(childGap);
    const auto place = [&client, this](QWidget* child, const QRect& rect) {
        child->setGeometry(QStyle::visualRect(layoutDirection(), client, rect));
    };

    place(objToolbar, {0, 0, client.width(), toolbarHeight});
    // The website panel keeps its place after the status text's least width, and a narrow
    // window cuts it at its edge rather than have it cover the text.
    const int statusBarWidth = qMax(client.width(), objStatusBar->minimumSizeHint().width());
    place(objStatusBar, {0, client.height() - statusBarHeight, statusBarWidth, statusBarHeight});

    const int listTop = toolbar ? toolbarHeight : 0;
    const int bottom = client.height() - (statusBar ? statusBarHeight : 0);
    const int logHeight = scaledY(designLogHeight);
    if (bottom - logHeight > 0)
        place(lstLog, {0, bottom - logHeight, client.width(), logHeight});
    int listHeight = bottom - listTop - (log ? logHeight + gap : 0);
    if (listHeight <= 0)
        listHeight = lvwTasks->height();

    const int helpWidth = scaledX(designHelpWidth);
    place(picHelp, {client.width() - helpWidth, listTop, helpWidth, listHeight});
    arrangeHelpPanel();

    const int listWidth = help ? client.width() - helpWidth - gap : client.width();
    place(lvwTasks, {0, listTop, listWidth > 0 ? listWidth : lvwTasks->width(), listHeight});
}

// The title takes one line of its bold font; the text scrolls in the rest of the panel.
void frmMain::arrangeHelpPanel() {
    const QRect panel = picHelp->rect();
    const int margin = scaledX(helpMargin);
    const int titleHeight = lblHelpTitle->sizeHint().height();
    const QRect title(margin, margin, panel.width() - 2 * margin, titleHeight);
    const int textTop = title.bottom() + 1 + margin;
    const QRect text(margin, textTop, title.width(), panel.height() - textTop - margin);
    lblHelpTitle->setGeometry(QStyle::visualRect(layoutDirection(), panel, title));
    if (text.height() > 0)
        helpScroll->setGeometry(QStyle::visualRect(layoutDirection(), panel, text));
}

// The desktop's font at its usual size keeps the design's sizes; a larger one scales them.
double frmMain::fontScale() const {
    constexpr double usualPointSize = 10.0;
    return qMax(1.0, QFontInfo(font()).pointSizeF() / usualPointSize);
}

int frmMain::scaledX(int twips) const {
    return qRound(twipsToPixelsX(twips) * fontScale());
}

int frmMain::scaledY(int twips) const {
    return qRound(twipsToPixelsY(twips) * fontScale());
}

// Everything whose size follows the font, then the layout.
void frmMain::applyFontSizes() {
    const int iconSide = qRound(16 * fontScale());
    objToolbar->setIconSize({iconSide, iconSide});
    statusPanel1->setMinimumWidth(scaledX(statusPanel1MinWidth));
    statusPanel2->setFixedWidth(scaledX(statusPanel2Width));
    lvwTasks->fitToFont(fontScale());
    arrangeControls();
}

// All in one write of the settings.
void frmMain::saveWindowSettings() {
    const QString state = isMinimized() ? "1" : isMaximized() ? "2" : "0";
    SettingValues values = {{Setting::StatusBar, flagText(mnuViewToolbarsStatus)},
                            {Setting::ToolBar, flagText(mnuViewToolbarsStandard)},
                            {Setting::Log, flagText(mnuViewToolbarsLog)},
                            {Setting::Help, flagText(mnuHelpInteractive)},
                            {Setting::WindowState, state},
                            {Setting::ColumnHeaders, flagText(mnuViewTaskColumnHeaders)},
                            {Setting::GridLines, flagText(mnuViewTaskGrid)}};
    if (state == "0") {
        const QRect frame = frameGeometry();
        values.append({{Setting::ScreenWidth, QString::number(pixelsToTwipsX(frame.width()))},
                       {Setting::ScreenHeight, QString::number(pixelsToTwipsY(frame.height()))},
                       {Setting::ScreenLeft, QString::number(pixelsToTwipsX(frame.x()))},
                       {Setting::ScreenTop, QString::number(pixelsToTwipsY(frame.y()))}});
    }
    for (int column = 0; column < TaskListView::columnCount; ++column) {
        const int n = column + 1;
        values.emplaceBack(Setting::columnWidth(n),
                           QString::number(pixelsToTwipsX(lvwTasks->columnWidth(column))));
        values.emplaceBack(Setting::columnPosition(n),
                           QString::number(lvwTasks->columnPosition(column) + 1));
    }
    if (const int mode = firstChecked(viewModeItems()); mode >= 0)
        values.emplaceBack(Setting::TaskIcons, QString::number(mode + 1));
    if (const int sort = firstChecked(arrangeItems()); sort >= 0)
        values.emplaceBack(Setting::TaskSort, QString::number(sort));
    writeSettings(values);
}

void frmMain::loadWindowSettings() {
    mnuViewToolbarsStatus->setChecked(readFlag(Setting::StatusBar, SettingDefault::StatusBar));
    mnuViewToolbarsStandard->setChecked(readFlag(Setting::ToolBar, SettingDefault::ToolBar));
    mnuViewToolbarsLog->setChecked(readFlag(Setting::Log, SettingDefault::Log));
    mnuHelpInteractive->setChecked(readFlag(Setting::Help, SettingDefault::Help));
    mnuViewTaskColumnHeaders->setChecked(
        readFlag(Setting::ColumnHeaders, SettingDefault::ColumnHeaders));
    mnuViewTaskGrid->setChecked(readFlag(Setting::GridLines, SettingDefault::GridLines));
    mnuTasksPause->setChecked(
        readFlag(Setting::PauseAutomaticTasks, SettingDefault::PauseAutomaticTasks));
    loadWindowPlacement();
    loadColumnSettings();

    const QList<QAction*> modes = viewModeItems();
    for (QAction* item : modes)
        item->setChecked(false);
    const int mode = readNumber(Setting::TaskIcons, 1);
    if (mode >= 1 && mode <= modes.size())
        modes[mode - 1]->setChecked(true);
    applyListView();

    const QList<QAction*> arrangements = arrangeItems();
    for (QAction* item : arrangements)
        item->setChecked(false);
    const int sort = readNumber(Setting::TaskSort, 1);
    if (sort >= 0 && sort < arrangements.size())
        arrangements[sort]->setChecked(true);
    applyTaskSort();
}

// The check mark has turned by the time the item fires. The state is kept at once, so that a
// pause outlives a run that ends without saving its settings.
void frmMain::pauseAutomaticTasks() {
    writeSetting(Setting::PauseAutomaticTasks, flagText(mnuTasksPause));
    applyAutomaticPause();
    // What became due during the pause is performed now, not at the next tick.
    if (!engine->automaticTasksPaused())
        engine->runCheckCycle();
}

void frmMain::applyAutomaticPause() {
    engine->setAutomaticTasksPaused(mnuTasksPause->isChecked());
    showTaskCount();
    setTrayTip(trayTip());
}

void frmMain::loadWindowPlacement() {
    const int state = readNumber(Setting::WindowState, 0);
    if (state == 1)
        setWindowState(Qt::WindowMinimized);
    if (state == 2)
        setWindowState(Qt::WindowMaximized);
    if (state == 1 || state == 2)
        return;
    // Without a stored position the desktop places and sizes the window, as at a first start.
    const std::optional<int> left = storedNumber(Setting::ScreenLeft);
    const std::optional<int> top = storedNumber(Setting::ScreenTop);
    if (!left || !top)
        return;
    const QRect frame = frameGeometry();
    const QRect wanted(
        twipsToPixelsX(*left), twipsToPixelsY(*top),
        twipsToPixelsX(readNumber(Setting::ScreenWidth, pixelsToTwipsX(frame.width()))),
        twipsToPixelsY(readNumber(Setting::ScreenHeight, pixelsToTwipsY(frame.height()))));
    // A placement from a screen that is gone would put the window out of reach.
    if (wanted.width() <= 0 || wanted.height() <= 0 || !onSomeScreen(wanted))
        return;
    m_wantedFrame = withinScreens(wanted);
    applyWantedFrame();
}

// The window frame is only known once the desktop has decorated the shown window; the wanted
// outer size is applied again then, so a restored window never grows by its frame. A window
// that first comes up larger than its screen (a large font on a small screen) is cut to it and
// moved onto it, so that none of its bars is out of reach.
void frmMain::applyWantedFrame() {
    if (m_wantedFrame.isNull() && isVisible()) {
        const QRect frame = frameGeometry();
        const QRect area = screen()->availableGeometry();
        if (frame.width() <= area.width() && frame.height() <= area.height())
            return;
        const QSize size = frame.size().boundedTo(area.size());
        m_wantedFrame = {qBound(area.left(), frame.left(), area.right() + 1 - size.width()),
                         qBound(area.top(), frame.top(), area.bottom() + 1 - size.height()),
                         size.width(), size.height()};
    }
    if (m_wantedFrame.isNull())
        return;
    const QSize frameExtra = frameGeometry().size() - size();
    move(m_wantedFrame.topLeft());
    resize(m_wantedFrame.size() - frameExtra);
    if (isVisible())
        m_wantedFrame = {};
}

void frmMain::loadColumnSettings() {
    for (int column = 0; column < TaskListView::columnCount; ++column) {
        const int n = column + 1;
        const int width =
            readNumber(Setting::columnWidth(n), pixelsToTwipsX(lvwTasks->columnWidth(column)));
        if (width >= 0)
            lvwTasks->setColumnWidth(column, twipsToPixelsX(width));
        const int position =
            readNumber(Setting::columnPosition(n), lvwTasks->columnPosition(column) + 1);
        if (position >= 1 && position <= TaskListView::columnCount)
            lvwTasks->setColumnPosition(column, position - 1);
    }
}
