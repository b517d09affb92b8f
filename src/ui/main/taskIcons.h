#pragma once

#include <QIcon>
#include <QString>

// Task icon key from the last four characters of the source path: "txt", "exe", "dll",
// "bmp", "web" or "none".
QString taskIconKey(const QString& sourcePath);

// The task icon for a key, 32 x 32 (large icons) or 16 x 16 (every other view). Unknown keys
// get the "none" image.
QIcon largeTaskIcon(const QString& iconKey);
QIcon smallTaskIcon(const QString& iconKey);

// The toolbar's 16 x 16 button images, 0 to buttonImageCount - 1.
inline constexpr int buttonImageCount = 21;
QIcon buttonImage(int index);
// Toolbar buttons by their tag, case-blind ("NewTask", "Exit"...).
QIcon buttonImageForTag(const QString& tag);

// The 16 x 16 notification-area icon.
QIcon trayIconImage();
// The program's logo, drawn like the notification-area icon, at window and desktop sizes.
QIcon programIcon();
