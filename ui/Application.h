#pragma once

#include <QIcon>

class QApplication;

namespace vesperkeep {

// The application title: taskbar entry, notification-area tip and caption of every message box.
inline constexpr char ApplicationTitle[] = "Vesperkeep";

// Makes the images of ui/resources available under ":/vesperkeep/"; any number of calls.
void RegisterResources();

// The application icon, with its images of 16, 32 and 48 pixels.
QIcon ApplicationIcon();

// Sets the title and the icon. The title goes in as the application name and not as the display
// name, which Qt would append to every window caption. The program ends when its main window
// closes, not when the last window does: a message box closed while the window is hidden in the
// notification area would otherwise end it.
void SetUpApplication(QApplication& application);

} // namespace vesperkeep
