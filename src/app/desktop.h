// The program as a desktop application: its icon, its name for the desktop, and a
// clean close when the session ends it.
#pragma once
#include <QIcon>
#include <QString>

class QWidget;

namespace lvov {

// The name of the desktop entry and of the icon (reverse domain name, no extension).
extern const QString DESKTOP_ID;  // "org.nevemulator.NevEmulator"

// The program's icon in every size the resources hold (16 to 256 pixels).
QIcon application_icon();

// Gives the application its window icon and desktop entry name; call once after the
// application object exists.
void set_desktop_identity();

// On SIGTERM, SIGINT or SIGHUP (a session logging out, Ctrl+C in a terminal) the window
// is closed through the event loop, as if the user had closed it, so the close snapshot
// is written; a second signal while that runs ends the program at once. Call once.
void close_on_termination_signals(QWidget& window);

}  // namespace lvov
